#pragma once

#include <cstdint>
#include <string>
#include <vector>

// EDIDs as displays send them: a base block with the maker and product, and, where asked, one
// CTA-861 extension block with Microsoft's vendor block for head-mounted and specialised displays.
// tst_udevdevice checks each sample with edid-decode, so they are what a decoder reads, not what
// this file assumes.
class EdidSample {
public:
    // An ordinary desktop monitor: no extension.
    static std::vector<uint8_t> monitor(const std::string &maker, uint16_t product);
    // With a CTA extension whose only data blocks are an audio block and Microsoft's block of the
    // given version and flags byte (desktop usage 0x40, third-party usage 0x20, use case 0x1f).
    static std::vector<uint8_t> withMicrosoftBlock(const std::string &maker, uint16_t product,
                                                   uint8_t version, uint8_t flags);
    // A display's real EDID, kept as the hex dump that edid-decode prints; empty if unreadable.
    static std::vector<uint8_t> fromHexFile(const std::string &path);
    // The names of the hex dumps in `folder`, in order.
    static std::vector<std::string> hexFiles(const std::string &folder);

    // Sets the checksum of that block after a change.
    static void seal(std::vector<uint8_t> &edid, size_t block);
    // The same for a DisplayID extension block: its section's checksum, then the block's.
    static void sealDisplayId(std::vector<uint8_t> &edid, size_t block);
};
