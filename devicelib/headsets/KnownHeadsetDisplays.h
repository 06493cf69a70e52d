#pragma once

#include "HeadsetIds.h"

namespace hlx::headsets {

// Headset displays that say nothing about being worn in their EDID, known by maker and product
// code: what the kernel marks non-desktop by its own table, and a few the kernel does not list yet.
class KnownHeadsetDisplays {
public:
    static bool contains(HeadsetIds::Id id);
};

} // namespace hlx::headsets
