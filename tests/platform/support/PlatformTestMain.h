#pragma once

#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace support {

// A mode the test program runs in when a case starts it once more, as a second process: it
// gets the arguments after the mode, and its return value is the process's exit status.
using Helper = int (*)(const std::vector<std::string> &arguments);

// With "--helper MODE ARGUMENTS..." runs that helper mode; otherwise the slots of `cases`
// under Qt Test, which reads the rest of the command line.
inline int runPlatformTest(QObject &cases, const std::map<std::string, Helper> &helpers, int argc,
                           char *argv[]) {
    if (argc < 3 || std::string(argv[1]) != "--helper") {
        // Without a console, as under CTest and wine, Qt Test on Windows writes its results to
        // the debugger output; they belong on the standard output, where CTest reads them.
        qputenv("QT_FORCE_STDERR_LOGGING", "1");
        // Locks of a run's own, gone with it, that never meet a running utility's; the helper
        // processes inherit the folder.
        const QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        return QTest::qExec(&cases, argc, argv);
    }
    const auto helper = helpers.find(argv[2]);
    if (helper == helpers.end()) {
        std::cerr << "no helper mode '" << argv[2] << "'" << std::endl;
        return 2;
    }
    return helper->second({argv + 3, argv + argc});
}

} // namespace support

// The main function of a group's test program, given the helper modes its cases start:
// {{"mode", function}, ...}.
#define HLX_PLATFORM_TEST_MAIN(Cases, ...)                                                         \
    int main(int argc, char *argv[]) {                                                             \
        Cases cases;                                                                               \
        return support::runPlatformTest(cases, __VA_ARGS__, argc, argv);                           \
    }
