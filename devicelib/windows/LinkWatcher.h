#pragma once

#include "DeviceMessages.h"
#include "DeviceSystem.h"
#include "HeadsetIds.h"
#include "LinkAnnouncer.h"
#include "NotificationWindow.h"

#include <optional>

namespace hlx::windows {

// Follows the headset's links on a thread of its own. The thread owns a hidden top-level window
// that hears of monitors and USB devices arriving and leaving and of display changes, and it
// sleeps in GetMessage while nothing changes. Each of those messages re-judges every device and
// announces each real change of a link once.
class LinkWatcher final : public DeviceSystem::Following {
public:
    // The hidden window's class; a test that cannot make the system report a device sends
    // WM_DEVICECHANGE or WM_DISPLAYCHANGE to the window of this class itself.
    static constexpr const wchar_t *windowClass = L"HLX_DeviceWatch";

    explicit LinkWatcher(headsets::HeadsetIds ids);
    ~LinkWatcher() override;
    LinkWatcher(const LinkWatcher &) = delete;
    LinkWatcher &operator=(const LinkWatcher &) = delete;

    // Listens before it looks, so that nothing plugged meanwhile is missed, then announces the
    // links already up to this process's windows, all before it returns. False if the window
    // or its notifications could not be set up.
    bool start();
    // Returns once the thread has ended.
    void stop();

private:
    // Re-judges every device and tells `audience` of the links that changed.
    void rejudge(LinkAnnouncer::Audience audience);

    headsets::HeadsetIds m_ids;
    // What the windows were last told; nothing before the first announcement.
    std::optional<Links> m_announced;
    NotificationWindow m_window;
};

} // namespace hlx::windows
