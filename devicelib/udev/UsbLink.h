#pragma once

#include "HeadsetIds.h"
#include "Verdict.h"

#include <libudev.h>

#include <set>
#include <string>

namespace hlx::udev {

// The headset's USB link: up while at least one of a headset's own USB devices is plugged. A
// headset may bring several such devices (a hub, the display's controller, sensors), and each
// device brings several interfaces and events, so the link is the set of devices, not a count of
// events. Accessories alone, however many, are no link.
class UsbLink {
public:
    explicit UsbLink(const headsets::HeadsetIds &ids);

    // The devices plugged now, replacing whatever was known.
    void scan(struct ::udev *context);
    // One event of the usb subsystem.
    void handle(udev_device *device);
    bool up() const { return !m_present.empty(); }
    // Whether a USB device is one of a headset's own, and why.
    headsets::Verdict judge(udev_device *device) const;

private:
    const headsets::HeadsetIds &m_ids;
    std::set<std::string> m_present;
};

} // namespace hlx::udev
