#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "ProgramRecord.h"
#include "StdStringComparison.h"
#include "TemporaryDirectory.h"
#include "WorkingDirectory.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

// Records its working directory and then its arguments, one a line.
int record(const std::vector<std::string> &arguments) {
    std::vector<std::string> lines{std::filesystem::current_path().string()};
    lines.insert(lines.end(), arguments.begin(), arguments.end());
    support::writeProgramRecord(lines);
    return 0;
}

class ProgramStartCases : public QObject {
    Q_OBJECT

private slots:
    void theProgramStartsInOurWorkingDirectoryWithTheParameters() {
        const support::TemporaryDirectory folder;
        const support::WorkingDirectory inFolder(folder.path());
        QVERIFY(platform::startProgram(support::ChildProcess::programPath(),
                                       "--helper record alpha  beta gamma"));

        const std::vector<std::string> lines = support::awaitProgramRecord(folder.path());
        QVERIFY2(!lines.empty(), "the started program wrote nothing");
        QVERIFY2(std::filesystem::equivalent(lines.front(), folder.path()), lines.front().c_str());
        QCOMPARE(lines.size(), std::size_t(4));
        QCOMPARE(lines[1], std::string("alpha"));
        QCOMPARE(lines[2], std::string("beta"));
        QCOMPARE(lines[3], std::string("gamma"));
    }

    void aProgramThatIsNotThereIsReportedAsNotStarted() {
        const support::TemporaryDirectory folder;
        QVERIFY(!platform::startProgram((folder.path() / "no-such-program").string(), "--flag"));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(ProgramStartCases, {{"record", record}})

#include "ProgramStartCases.moc"
