#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"
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
    UINT hidAdded = 0;
    UINT gameStart = 0;
};

void readRegistered(Registered &numbers) {
    const platform::LibraryHandle library =
        platform::loadLibrary(besideTests(HLX_WINDOWS_BIN_DIR "/libHLX.dll").string());
    QVERIFY(library != nullptr);
    const auto get = reinterpret_cast<GetWindowMessage>(
        platform::resolveSymbol(library, "HLX_GetWindowMessage"));
    QVERIFY(get != nullptr);
    numbers.hidAdded = get("WM_VORN_HID_ADDED");
    numbers.gameStart = get("WM_GAME_START");
}

class WindowMessageCases : public QObject {
    Q_OBJECT

private slots:
    void theStandInLibraryAnswersTheSessionsRegisteredNumbers() {
        Registered numbers;
        readRegistered(numbers);
        QVERIFY(numbers.hidAdded >= 0xC000);
        QVERIFY(numbers.hidAdded != numbers.gameStart);
        QCOMPARE(numbers.hidAdded, RegisterWindowMessageW(L"WM_VORN_HID_ADDED"));
    }

    void aBroadcastFromTheDeviceSideReachesVisibleAndHiddenWindows() {
        Registered numbers;
        readRegistered(numbers);
        if (QTest::currentTestFailed())
            return;
        support::TopLevelWindow visible(L"HlxTestReceiver", L"shown", true);
        support::TopLevelWindow hidden(L"HlxTestReceiver", L"in the tray", false);
        QVERIFY(!IsWindowVisible(hidden.handle()));

        QCOMPARE(runDevice(L"hid-added game-start"), DWORD(0));
        const std::vector<UINT> expected{numbers.hidAdded, numbers.gameStart};
        support::TopLevelWindow::pumpMessages(10000, [&] {
            return visible.registeredMessages().size() >= 2 &&
                   hidden.registeredMessages().size() >= 2;
        });
        QVERIFY(hidden.registeredMessages() == expected);
        QVERIFY(visible.registeredMessages() == expected);
    }

    void aWaitingBroadcastIsHandledBeforeTheDeviceSideEnds() {
        Registered numbers;
        readRegistered(numbers);
        if (QTest::currentTestFailed())
            return;
        support::TopLevelWindow hidden(L"HlxTestReceiver", L"in the tray", false);

        QCOMPARE(runDevice(L"--wait unplug"), DWORD(0));
        const std::vector<UINT> expected{RegisterWindowMessageW(L"WM_VORN_HID_REMOVED"),
                                         RegisterWindowMessageW(L"WM_VORN_MONITOR_REMOVED")};
        QVERIFY(hidden.registeredMessages() == expected);
    }

    void theDeviceSideRefusesAMessageItDoesNotKnow() {
        QCOMPARE(runDevice(L"no-such-message"), DWORD(2));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(WindowMessageCases, {})

#include "WindowMessageCases.moc"
