#pragma once

#include "DeviceSystem.h"

#include <windows.h>

#include <functional>
#include <thread>

namespace hlx::windows {

// Tells of every change of the desktop's displays on a thread of its own, with a hidden
// top-level window that hears of display changes and of monitors arriving and leaving, and
// sleeps in GetMessage in between.
class DisplayWatcher final : public DeviceSystem::Following {
public:
    // A test that cannot make the system change a display sends WM_DISPLAYCHANGE to the window
    // of this class itself.
    static constexpr const wchar_t *windowClass = L"HLX_DisplayWatch";

    explicit DisplayWatcher(std::function<void()> changed);
    ~DisplayWatcher() override;
    DisplayWatcher(const DisplayWatcher &) = delete;
    DisplayWatcher &operator=(const DisplayWatcher &) = delete;

    // False if the window or its notification could not be set up.
    bool start();

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    bool setUp();
    void tearDown();

    std::function<void()> m_changed;
    HWND m_window = nullptr;
    HDEVNOTIFY m_notification = nullptr;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

} // namespace hlx::windows
