#pragma once

#include "HeadsetIds.h"

#include <optional>
#include <string>
#include <string_view>

namespace hlx::headsets {

// What this library needs of a display's EDID: who made it, and whether it says it is worn on
// the head. Only blocks whose checksums hold count, and nothing is read past the data or past a
// length that a block gives for itself.
class Edid {
public:
    static constexpr size_t blockSize = 128;

    // Nothing unless the data starts with a whole base block with the EDID header and a checksum
    // that holds.
    static std::optional<Edid> parse(std::string_view data);

    // Manufacturer, packed as in the base block, and product code.
    HeadsetIds::Id id() const { return m_id; }
    // The maker's three letters and the product code in hex, as in "VLV 91a8".
    std::string name() const;
    // Microsoft's vendor block for head-mounted and specialised displays, in a CTA-861 extension
    // or in a CTA block of a DisplayID extension: versions 1 and 2 are for headsets only, version
    // 3 says so by clearing its desktop-usage flag and naming a virtual or augmented reality
    // headset as the primary use case. Or a DisplayID 2.0 extension whose primary use case is a
    // head-mounted virtual or augmented reality display.
    bool marksHeadMountedDisplay() const { return !m_headMountedMark.empty(); }
    // Which of those marks it carries; empty if none.
    std::string_view headMountedMark() const { return m_headMountedMark; }

private:
    static bool ctaExtensionMarksHeadMounted(std::string_view block);
    // The mark the extension carries, or an empty text.
    static std::string_view displayIdExtensionMark(std::string_view block);
    static bool dataBlocksMarkHeadMounted(std::string_view dataBlocks);
    static bool isHeadMountedBlock(std::string_view payload);

    HeadsetIds::Id m_id{};
    std::string_view m_headMountedMark;
};

} // namespace hlx::headsets
