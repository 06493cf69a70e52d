#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "ProgramRecord.h"
#include "StdStringComparison.h"
#include "TemporaryDirectory.h"
#include "WorkingDirectory.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// Records the show command it was started with, -1 when it was given none.
int recordShowCommand(const std::vector<std::string> &) {
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    const bool given = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0;
    support::writeProgramRecord({std::to_string(given ? int(startup.wShowWindow) : -1)});
    return 0;
}

class ShowCommandCases : public QObject {
    Q_OBJECT

private slots:
    void theStartedProgramsWindowIsForcedMinimised() {
        const support::TemporaryDirectory folder;
        const support::WorkingDirectory inFolder(folder.path());
        QVERIFY(platform::startProgram(support::ChildProcess::programPath(),
                                       "--helper record-show-command"));

        const std::vector<std::string> record = support::awaitProgramRecord(folder.path());
        QCOMPARE(record.size(), std::size_t(1));
        QCOMPARE(record.front(), std::to_string(SW_FORCEMINIMIZE));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(ShowCommandCases, {{"record-show-command", recordShowCommand}})

#include "ShowCommandCases.moc"
