#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"
#include "ProgramRecord.h"
#include "TemporaryDirectory.h"
#include "WorkingDirectory.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// Records the show command it was started with, -1 when it was given none.
TEST_HELPER("record-show-command") {
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    const bool given = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0;
    support::writeProgramRecord({std::to_string(given ? int(startup.wShowWindow) : -1)});
    return 0;
}

TEST_CASE(showcommand, "the started program's window is forced minimised") {
    const support::TemporaryDirectory folder;
    const support::WorkingDirectory inFolder(folder.path());
    CHECK(platform::startProgram(support::ChildProcess::programPath(),
                                 "--helper record-show-command"));

    const std::vector<std::string> record = support::awaitProgramRecord(folder.path());
    CHECK_EQUAL(record.size(), std::size_t(1));
    CHECK_EQUAL(record.front(), std::to_string(SW_FORCEMINIMIZE));
}

} // namespace
