#pragma once

#include "HeadsetIds.h"
#include "VerdictSeen.h"

namespace hlx::windows {

// The headset's USB link: up while at least one of a headset's own USB devices is present. A
// headset may bring several (a hub, the display's controller, sensors); accessories alone,
// however many, are no link.
class UsbLink {
public:
    explicit UsbLink(const headsets::HeadsetIds &ids);

    // Reads every present USB device afresh; `seen`, if given, hears of each. The interfaces of a
    // composite device are parts of one device, not devices of their own, and are left out.
    void scan(const VerdictSeen &seen = nullptr);
    bool up() const { return m_up; }

private:
    const headsets::HeadsetIds &m_ids;
    bool m_up = false;
};

} // namespace hlx::windows
