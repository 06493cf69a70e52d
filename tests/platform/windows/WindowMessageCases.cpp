#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"
#include "TopLevelWindow.h"

#include <filesystem>

namespace {

std::filesystem::path besideTests(const char *relative) {
    return std::filesystem::path(support::ChildProcess::programPath()).parent_path() / relative;
}

// Runs the stand-in device side to its end, dispatching this thread's messages meanwhile,
// since with --wait it waits for every window to handle each message.
DWORD runDevice(const std::wstring &arguments) {
    std::wstring commandLine =
        L"\"" + besideTests(HLX_WINDOWS_BIN_DIR "/hlx-device.exe").wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 1000;
    CloseHandle(process.hThread);
    support::TopLevelWindow::pumpMessages(
        30000, [&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; });
    DWORD code = 1001;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return code;
}

using GetWindowMessage = std::uint32_t(WINAPI *)(const char *);

// The numbers as the stand-in library gives them to this process.
struct Registered {
    Registered() {
        const platform::LibraryHandle library =
            platform::loadLibrary(besideTests(HLX_WINDOWS_BIN_DIR "/"
                                                                  "libHLX.dll")
                                      .string());
        CHECK(library != nullptr);
        const auto get = reinterpret_cast<GetWindowMessage>(
            platform::resolveSymbol(library, "HLX_GetWindowMessage"));
        CHECK(get != nullptr);
        hidAdded = get("WM_VORN_HID_ADDED");
        gameStart = get("WM_GAME_START");
    }
    UINT hidAdded = 0;
    UINT gameStart = 0;
};

TEST_CASE(windowmessage, "the stand-in library answers the session's registered numbers") {
    const Registered numbers;
    CHECK(numbers.hidAdded >= 0xC000);
    CHECK(numbers.hidAdded != numbers.gameStart);
    CHECK_EQUAL(numbers.hidAdded, RegisterWindowMessageW(L"WM_VORN_HID_ADDED"));
}

TEST_CASE(windowmessage, "a broadcast from the device side reaches visible and hidden windows") {
    const Registered numbers;
    support::TopLevelWindow visible(L"HlxTestReceiver", L"shown", true);
    support::TopLevelWindow hidden(L"HlxTestReceiver", L"in the tray", false);
    CHECK(!IsWindowVisible(hidden.handle()));

    CHECK_EQUAL(runDevice(L"hid-added game-start"), DWORD(0));
    const std::vector<UINT> expected{numbers.hidAdded, numbers.gameStart};
    support::TopLevelWindow::pumpMessages(10000, [&] {
        return visible.registeredMessages().size() >= 2 && hidden.registeredMessages().size() >= 2;
    });
    CHECK(hidden.registeredMessages() == expected);
    CHECK(visible.registeredMessages() == expected);
}

TEST_CASE(windowmessage, "a waiting broadcast is handled before the device side ends") {
    const Registered numbers;
    support::TopLevelWindow hidden(L"HlxTestReceiver", L"in the tray", false);

    CHECK_EQUAL(runDevice(L"--wait unplug"), DWORD(0));
    const std::vector<UINT> expected{RegisterWindowMessageW(L"WM_VORN_HID_REMOVED"),
                                     RegisterWindowMessageW(L"WM_VORN_MONITOR_REMOVED")};
    CHECK(hidden.registeredMessages() == expected);
}

TEST_CASE(windowmessage, "the device side refuses a message it does not know") {
    CHECK_EQUAL(runDevice(L"no-such-message"), DWORD(2));
}

} // namespace
