#pragma once

#include "AnnouncementPacer.h"
#include "DeviceSystem.h"
#include "DisplayLink.h"
#include "HeadsetIds.h"
#include "UdevHandles.h"
#include "UsbLink.h"

#include <optional>
#include <thread>

namespace hlx::udev {

// Follows the headset's links on a thread of its own that sleeps in poll() until udev has an event
// or stop() is called, and announces each real change of a link once, paced in a storm. Events lost
// to an overrun of the socket (a dock or a hub announcing many devices at once) cost a fresh look
// at every device, never the following itself.
class LinkMonitor final : public DeviceSystem::Following {
public:
    static constexpr const char *threadName = "hlx-udev";

    explicit LinkMonitor(headsets::HeadsetIds ids);
    ~LinkMonitor() override;
    LinkMonitor(const LinkMonitor &) = delete;
    LinkMonitor &operator=(const LinkMonitor &) = delete;

    // Listens before it looks, so that nothing plugged meanwhile is missed; the thread then
    // announces the links already up. False if udev cannot be listened to.
    bool start();
    // Returns once the thread has ended.
    void stop();

private:
    enum class Received { Everything, AfterLoss, Nothing };

    void run();
    // Everything queued; `error` says why when the answer is not Everything.
    Received receiveEvents(int &error);
    void rescan();
    // Notes the links after a change of the devices.
    void see();
    void announceDue();
    // Says on standard error why the links are no longer followed; `error` is an errno value, or 0.
    static void giveUp(const char *what, int error);

    headsets::HeadsetIds m_ids;
    UsbLink m_usb;
    DisplayLink m_display;
    UdevContext m_context;
    UdevMonitor m_monitor;
    AnnouncementPacer m_pacer;
    int m_stopEvent = -1;
    std::thread m_thread;
};

} // namespace hlx::udev
