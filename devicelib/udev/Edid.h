#pragma once

#include "HeadsetIds.h"

#include <optional>
#include <string_view>

namespace hlx::udev {

// What this library needs of a display's EDID: who made it, and whether it says it is worn on
// the head.
class Edid {
public:
    static constexpr size_t blockSize = 128;

    // Nothing unless the data starts with a whole base block with the EDID header.
    static std::optional<Edid> parse(std::string_view data);

    // Manufacturer, packed as in the base block, and product code.
    HeadsetIds::Id id() const { return m_id; }
    // A CTA-861 extension carries Microsoft's vendor block for head-mounted displays: versions 1
    // and 2 are for them only; version 3 says so by clearing its desktop-usage flag and naming a
    // virtual or augmented reality headset as the primary use case.
    bool marksHeadMountedDisplay() const { return m_headMounted; }

private:
    static bool isHeadMountedBlock(std::string_view payload);
    static bool ctaBlockMarksHeadMounted(std::string_view block);

    HeadsetIds::Id m_id{};
    bool m_headMounted = false;
};

} // namespace hlx::udev
