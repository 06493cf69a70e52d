#include "Edid.h"

#include <cstdint>
#include <numeric>

namespace hlx::udev {

namespace {

constexpr std::string_view header("\x00\xff\xff\xff\xff\xff\xff\x00", 8);
constexpr uint8_t ctaExtensionTag = 0x02;
constexpr uint8_t vendorSpecificDataBlock = 3;
constexpr uint32_t microsoftOui = 0xca125c;
// Three bytes of OUI, the version, the flags and a 16-byte container id.
constexpr size_t microsoftPayloadLength = 21;
constexpr uint8_t desktopUsageFlag = 0x40;
constexpr uint8_t primaryUseCaseMask = 0x1f;
constexpr uint8_t virtualRealityHeadset = 0x07;
constexpr uint8_t augmentedRealityHeadset = 0x08;

uint8_t byteAt(std::string_view data, size_t index) {
    return static_cast<uint8_t>(data[index]);
}

bool checksumHolds(std::string_view block) {
    const unsigned sum =
        std::accumulate(block.begin(), block.end(), 0u,
                        [](unsigned total, char c) { return total + static_cast<uint8_t>(c); });
    return (sum & 0xff) == 0;
}

} // namespace

std::optional<Edid> Edid::parse(std::string_view data) {
    if (data.size() < blockSize || data.substr(0, header.size()) != header)
        return std::nullopt;
    Edid edid;
    edid.m_id.first = static_cast<uint16_t>(byteAt(data, 8) << 8 | byteAt(data, 9));
    edid.m_id.second = static_cast<uint16_t>(byteAt(data, 10) | byteAt(data, 11) << 8);
    const size_t extensions = byteAt(data, 126);
    for (size_t index = 1; index <= extensions && (index + 1) * blockSize <= data.size(); ++index) {
        const std::string_view block = data.substr(index * blockSize, blockSize);
        if (ctaBlockMarksHeadMounted(block)) {
            edid.m_headMounted = true;
            break;
        }
    }
    return edid;
}

bool Edid::ctaBlockMarksHeadMounted(std::string_view block) {
    // A corrupted block proves nothing either way.
    if (byteAt(block, 0) != ctaExtensionTag || !checksumHolds(block))
        return false;
    // Data blocks run from byte 4 to the first detailed timing; 0 means there are none.
    const size_t timingsStart = byteAt(block, 2);
    if (timingsStart < 4 || timingsStart >= block.size())
        return false;
    for (size_t at = 4; at < timingsStart;) {
        const uint8_t tagAndLength = byteAt(block, at);
        const size_t length = tagAndLength & 0x1f;
        if (at + 1 + length > timingsStart)
            break;
        if ((tagAndLength >> 5) == vendorSpecificDataBlock &&
            isHeadMountedBlock(block.substr(at + 1, length)))
            return true;
        at += 1 + length;
    }
    return false;
}

bool Edid::isHeadMountedBlock(std::string_view payload) {
    if (payload.size() != microsoftPayloadLength)
        return false;
    const uint32_t oui = byteAt(payload, 0) | byteAt(payload, 1) << 8 | byteAt(payload, 2) << 16;
    if (oui != microsoftOui)
        return false;
    const uint8_t version = byteAt(payload, 3);
    const uint8_t flags = byteAt(payload, 4);
    if (version == 1 || version == 2)
        return true;
    const uint8_t useCase = flags & primaryUseCaseMask;
    return version >= 3 && (flags & desktopUsageFlag) == 0 &&
           (useCase == virtualRealityHeadset || useCase == augmentedRealityHeadset);
}

} // namespace hlx::udev
