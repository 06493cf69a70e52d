#include "KnownHeadsetDisplays.h"

#include <algorithm>
#include <iterator>

namespace hlx::headsets {

namespace {

constexpr uint16_t maker(const char (&letters)[4]) {
    return static_cast<uint16_t>((letters[0] - 'A' + 1) << 10 | (letters[1] - 'A' + 1) << 5 |
                                 (letters[2] - 'A' + 1));
}

struct ProductRange {
    uint16_t maker;
    uint16_t first;
    uint16_t last;
};

// The entries marked EDID_QUIRK_NON_DESKTOP in edid_quirk_list, drivers/gpu/drm/drm_edid.c,
// Linux 6.17, then the ones the kernel lacks.
constexpr ProductRange knownDisplays[] = {
    {maker("VLV"), 0x91a8, 0x91a8}, // Valve Index
    {maker("VLV"), 0x91b0, 0x91bf},
    {maker("HVR"), 0xaa01, 0xaa02}, // HTC Vive, Vive Pro
    {maker("OVR"), 0x0001, 0x0001}, // Oculus Rift DK1, DK2, CV1, Rift S
    {maker("OVR"), 0x0003, 0x0004},
    {maker("OVR"), 0x0012, 0x0012},
    {maker("ACR"), 0x7fce, 0x7fce}, // Windows Mixed Reality headsets
    {maker("LEN"), 0x0408, 0x0408},
    {maker("FUJ"), 0x1970, 0x1970},
    {maker("DEL"), 0x7fce, 0x7fce},
    {maker("SEC"), 0x144a, 0x144a},
    {maker("AUS"), 0xc102, 0xc102},
    {maker("SNY"), 0x0704, 0x0704}, // Sony PlayStation VR
    {maker("SEN"), 0x1019, 0x1019}, // Sensics
    {maker("SVR"), 0x1019, 0x1019}, // OSVR HDK, HDK2
    {maker("AUO"), 0x1111, 0x1111},
    // HTC Vive Cosmos and Vive Pro 2, as proposed for the kernel's table on dri-devel (2022); the
    // Vive Pro 2's DisplayID 2.0 use case says so as well.
    {maker("HVR"), 0xaa03, 0xaa04},
};

} // namespace

bool KnownHeadsetDisplays::contains(HeadsetIds::Id id) {
    return std::any_of(
        std::begin(knownDisplays), std::end(knownDisplays), [id](const ProductRange &range) {
            return range.maker == id.first && id.second >= range.first && id.second <= range.last;
        });
}

} // namespace hlx::headsets
