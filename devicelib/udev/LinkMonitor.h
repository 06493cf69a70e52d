#pragma once

#include "DisplayLink.h"
#include "HeadsetIds.h"
#include "Links.h"
#include "UdevHandles.h"
#include "UsbLink.h"

#include <thread>

namespace hlx::udev {

// Follows the headset's links on a thread of its own that sleeps in poll() until udev has an event
// or stop() is called, and announces each real change of a link once.
class LinkMonitor {
public:
    static constexpr const char *threadName = "hlx-udev";

    explicit LinkMonitor(headsets::HeadsetIds ids);
    ~LinkMonitor();
    LinkMonitor(const LinkMonitor &) = delete;
    LinkMonitor &operator=(const LinkMonitor &) = delete;

    // Listens before it looks, so that nothing plugged meanwhile is missed; the thread then
    // announces the links already up. False if udev cannot be listened to.
    bool start();
    // Returns once the thread has ended.
    void stop();

private:
    void run();
    void receiveEvents();
    void announceChanges();

    headsets::HeadsetIds m_ids;
    UsbLink m_usb;
    DisplayLink m_display;
    UdevContext m_context;
    UdevMonitor m_monitor;
    // What the windows were last told; both down before the first announcement.
    Links m_announced;
    int m_stopEvent = -1;
    std::thread m_thread;
};

} // namespace hlx::udev
