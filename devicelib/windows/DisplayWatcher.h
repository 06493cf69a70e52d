#pragma once

#include "DeviceSystem.h"
#include "NotificationWindow.h"

#include <functional>

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

    // False if the window or its notification could not be set up.
    bool start() { return m_window.start(); }

private:
    NotificationWindow m_window;
};

} // namespace hlx::windows
