#pragma once

#include "HeadsetIds.h"
#include "VerdictSeen.h"

namespace hlx::windows {

// The headset's display link: up while a present monitor's EDID marks a head-mounted display or
// names a listed one. Windows keeps a monitor device for each display it has seen, so only those
// present count.
class DisplayLink {
public:
    explicit DisplayLink(const headsets::HeadsetIds &ids);

    // Reads every present monitor afresh; `seen`, if given, hears of each.
    void scan(const VerdictSeen &seen = nullptr);
    bool up() const { return m_up; }

private:
    const headsets::HeadsetIds &m_ids;
    bool m_up = false;
};

} // namespace hlx::windows
