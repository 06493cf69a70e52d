#include "LinkWatcher.h"

#include "LinkAnnouncer.h"
#include "PresentHeadsets.h"

namespace hlx::windows {

LinkWatcher::LinkWatcher(headsets::HeadsetIds ids)
    : m_ids(std::move(ids))
    , m_window(windowClass, {monitorInterface, usbDeviceInterface},
               [this](UINT, WPARAM) { rejudge(LinkAnnouncer::Audience::AllWindows); }) {}

LinkWatcher::~LinkWatcher() {
    stop();
}

bool LinkWatcher::start() {
    return m_window.start([this] { rejudge(LinkAnnouncer::Audience::ThisProcess); });
}

void LinkWatcher::stop() {
    m_window.stop();
}

void LinkWatcher::rejudge(LinkAnnouncer::Audience audience) {
    // Whatever a notification says, the devices present now are what counts: a removed device
    // may be gone already, and several changes may have come at once.
    const Links current{headsetDisplayPresent(m_ids), headsetUsbPresent(m_ids)};
    LinkAnnouncer::announce(messagesForChange(m_announced, current), audience);
    m_announced = current;
}

} // namespace hlx::windows
