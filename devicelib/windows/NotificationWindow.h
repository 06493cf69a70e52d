#pragma once

#include <windows.h>

#include <functional>
#include <thread>
#include <vector>

namespace hlx::windows {

// GUID_DEVINTERFACE_MONITOR of ntddvdeo.h, which mingw-w64 does not ship.
inline constexpr GUID monitorInterface = {
    0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};
// GUID_DEVINTERFACE_USB_DEVICE, spelled out so that no object file has to define it.
inline constexpr GUID usbDeviceInterface = {
    0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

// A hidden top-level window on a thread of its own, which hears of display changes and of the
// devices of some interface classes arriving and leaving, and sleeps in GetMessage in between:
// no timeout and no timer, so it costs nothing while nothing changes.
class NotificationWindow {
public:
    // Runs on the thread for every WM_DEVICECHANGE and WM_DISPLAYCHANGE.
    using Handler = std::function<void(UINT message, WPARAM wParam)>;

    NotificationWindow(const wchar_t *windowClass, std::vector<GUID> interfaceClasses,
                       Handler handler);
    ~NotificationWindow();
    NotificationWindow(const NotificationWindow &) = delete;
    NotificationWindow &operator=(const NotificationWindow &) = delete;

    // `ready` runs on the thread once the window listens and before this returns, so that
    // nothing that changes meanwhile is missed. False if the window or its notifications could
    // not be set up.
    bool start(const std::function<void()> &ready = {});
    // Returns once the thread has ended.
    void stop();

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    // Runs on the thread: creates the window and registers it.
    bool setUp();
    void tearDown();

    const wchar_t *m_windowClass;
    std::vector<GUID> m_interfaceClasses;
    Handler m_handler;
    HWND m_window = nullptr;
    std::vector<HDEVNOTIFY> m_notifications;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

} // namespace hlx::windows
