#include "Edid.h"

#include <cstdint>
#include <cstdio>
#include <numeric>

namespace hlx::headsets {

namespace {

constexpr std::string_view header("\x00\xff\xff\xff\xff\xff\xff\x00", 8);
constexpr uint8_t ctaExtensionTag = 0x02;
constexpr uint8_t displayIdExtensionTag = 0x70;
constexpr uint8_t vendorSpecificDataBlock = 3;
constexpr uint32_t microsoftOui = 0xca125c;
// Three bytes of OUI, the version, the flags and a 16-byte container id.
constexpr size_t microsoftPayloadLength = 21;
constexpr uint8_t desktopUsageFlag = 0x40;
constexpr uint8_t primaryUseCaseMask = 0x1f;
constexpr uint8_t virtualRealityHeadset = 0x07;
constexpr uint8_t augmentedRealityHeadset = 0x08;
// A DisplayID section: version, length of its data blocks, product type or primary use case,
// extension count; its checksum byte follows the data blocks.
constexpr size_t displayIdHeaderSize = 4;
constexpr uint8_t displayIdVersion2 = 0x20;
constexpr uint8_t displayIdHeadMountedVr = 7;
constexpr uint8_t displayIdHeadMountedAr = 8;
// A DisplayID data block: tag, revision, payload length.
constexpr size_t displayIdBlockHeaderSize = 3;
constexpr uint8_t displayIdCtaBlockTag = 0x81;
constexpr std::string_view microsoftMark = "Microsoft's head-mounted display block";

uint8_t byteAt(std::string_view data, size_t index) {
    return static_cast<uint8_t>(data[index]);
}

bool checksumHolds(std::string_view bytes) {
    const unsigned sum =
        std::accumulate(bytes.begin(), bytes.end(), 0u,
                        [](unsigned total, char c) { return total + static_cast<uint8_t>(c); });
    return (sum & 0xff) == 0;
}

} // namespace

std::optional<Edid> Edid::parse(std::string_view data) {
    if (data.size() < blockSize || data.substr(0, header.size()) != header ||
        !checksumHolds(data.substr(0, blockSize)))
        return std::nullopt;
    Edid edid;
    edid.m_id.first = static_cast<uint16_t>(byteAt(data, 8) << 8 | byteAt(data, 9));
    edid.m_id.second = static_cast<uint16_t>(byteAt(data, 10) | byteAt(data, 11) << 8);
    // The base block counts the extensions; what a connector hands over beyond them is not EDID.
    const size_t extensions = byteAt(data, 126);
    for (size_t index = 1; index <= extensions && (index + 1) * blockSize <= data.size(); ++index) {
        const std::string_view block = data.substr(index * blockSize, blockSize);
        // A corrupted block proves nothing either way.
        if (!checksumHolds(block))
            continue;
        edid.m_headMountedMark =
            ctaExtensionMarksHeadMounted(block) ? microsoftMark : displayIdExtensionMark(block);
        if (edid.marksHeadMountedDisplay())
            break;
    }
    return edid;
}

std::string Edid::name() const {
    char text[16];
    std::snprintf(text, sizeof text, "%c%c%c %04x", '@' + (m_id.first >> 10 & 0x1f),
                  '@' + (m_id.first >> 5 & 0x1f), '@' + (m_id.first & 0x1f), unsigned(m_id.second));
    return text;
}

bool Edid::ctaExtensionMarksHeadMounted(std::string_view block) {
    if (byteAt(block, 0) != ctaExtensionTag)
        return false;
    // Data blocks run from byte 4 to the first detailed timing; 0 means there are none.
    const size_t timingsStart = byteAt(block, 2);
    if (timingsStart < 4 || timingsStart >= block.size())
        return false;
    return dataBlocksMarkHeadMounted(block.substr(4, timingsStart - 4));
}

std::string_view Edid::displayIdExtensionMark(std::string_view block) {
    if (byteAt(block, 0) != displayIdExtensionTag)
        return {};
    // The section starts after the extension tag and ends before the block's own checksum.
    const std::string_view section = block.substr(1, block.size() - 2);
    const size_t blocksLength = byteAt(section, 1);
    if (displayIdHeaderSize + blocksLength + 1 > section.size() ||
        !checksumHolds(section.substr(0, displayIdHeaderSize + blocksLength + 1)))
        return {};
    const uint8_t useCase = byteAt(section, 2);
    if (byteAt(section, 0) == displayIdVersion2 &&
        (useCase == displayIdHeadMountedVr || useCase == displayIdHeadMountedAr))
        return "DisplayID 2.0 head-mounted use case";
    const std::string_view dataBlocks = section.substr(displayIdHeaderSize, blocksLength);
    for (size_t at = 0; at + displayIdBlockHeaderSize <= dataBlocks.size();) {
        const size_t length = byteAt(dataBlocks, at + 2);
        if (at + displayIdBlockHeaderSize + length > dataBlocks.size())
            break;
        if (byteAt(dataBlocks, at) == displayIdCtaBlockTag &&
            dataBlocksMarkHeadMounted(dataBlocks.substr(at + displayIdBlockHeaderSize, length)))
            return microsoftMark;
        at += displayIdBlockHeaderSize + length;
    }
    return {};
}

bool Edid::dataBlocksMarkHeadMounted(std::string_view dataBlocks) {
    for (size_t at = 0; at < dataBlocks.size();) {
        const uint8_t tagAndLength = byteAt(dataBlocks, at);
        const size_t length = tagAndLength & 0x1f;
        if (at + 1 + length > dataBlocks.size())
            break;
        if ((tagAndLength >> 5) == vendorSpecificDataBlock &&
            isHeadMountedBlock(dataBlocks.substr(at + 1, length)))
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
    // Without desktop use a version 3 display is specialised, which the kernel takes for a
    // headset; a medical or test display is not one, so the use case must say so too.
    const uint8_t useCase = flags & primaryUseCaseMask;
    return version == 3 && (flags & desktopUsageFlag) == 0 &&
           (useCase == virtualRealityHeadset || useCase == augmentedRealityHeadset);
}

} // namespace hlx::headsets
