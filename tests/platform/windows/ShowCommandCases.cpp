#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"
#include "TemporaryDirectory.h"
#include "WorkingDirectory.h"

#include <windows.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

const char kRecord[] = "show-command.txt";

// Writes the show command it was started with to kRecord in its working directory.
TEST_HELPER("record-show-command") {
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    {
        std::ofstream out(std::string(kRecord) + ".partial");
        out << ((startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? int(startup.wShowWindow) : -1)
            << '\n';
    }
    std::filesystem::rename(std::string(kRecord) + ".partial", kRecord);
    return 0;
}

TEST_CASE(showcommand, "the started program's window is forced minimised") {
    const support::TemporaryDirectory folder;
    const support::WorkingDirectory inFolder(folder.path());
    CHECK(platform::startProgram(support::ChildProcess::programPath(),
                                 "--helper record-show-command"));

    const std::filesystem::path record = folder.path() / kRecord;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(record) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int showCommand = -2;
    std::ifstream(record) >> showCommand;
    CHECK_EQUAL(showCommand, SW_FORCEMINIMIZE);
}

} // namespace
