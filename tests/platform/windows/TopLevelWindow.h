#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace support {

// A top-level window of a given class, as another program would own it, that keeps the
// registered messages it receives. Messages reach it only while its thread pumps them.
class TopLevelWindow {
public:
    TopLevelWindow(const wchar_t *className, const std::wstring &title, bool visible);
    ~TopLevelWindow();
    TopLevelWindow(const TopLevelWindow &) = delete;
    TopLevelWindow &operator=(const TopLevelWindow &) = delete;

    HWND handle() const { return m_window; }
    const std::vector<UINT> &registeredMessages() const { return m_registered; }

    // Dispatches this thread's messages until the process's standard input ends: how a helper
    // process keeps its windows for as long as the case that started it wants them.
    static void pumpUntilInputEnds();
    // Dispatches this thread's messages for `milliseconds`, or until `done` says so.
    template <typename Done> static void pumpMessages(DWORD milliseconds, Done done);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);

    HWND m_window = nullptr;
    std::vector<UINT> m_registered;
};

template <typename Done> void TopLevelWindow::pumpMessages(DWORD milliseconds, Done done) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done() && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace support
