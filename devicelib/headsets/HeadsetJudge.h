#pragma once

#include "HeadsetIds.h"
#include "Verdict.h"

#include <string_view>

namespace hlx::headsets {

// What makes a device one of the headset's links, whatever system reports the device: every
// device library asks here, so a headset is a headset on each of them.
class HeadsetJudge {
public:
    explicit HeadsetJudge(const HeadsetIds &ids);

    // A display that is connected, by the EDID it hands over (empty if it gave none).
    Verdict display(std::string_view edid) const;
    // A USB device by its vendor and product; `attribute` answers a rule's further conditions.
    Verdict usb(HeadsetIds::Id id, const HeadsetIds::AttributeLookup &attribute) const;

private:
    const HeadsetIds &m_ids;
};

} // namespace hlx::headsets
