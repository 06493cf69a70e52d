#pragma once

#include "HeadsetIds.h"

namespace hlx::headsets {

// What a USB id is known to be: a headset's own device (its hub, display controller, HID or
// sensor device), or an accessory that may be plugged without any headset (a controller, a
// tracker, a base-station radio, a tracking camera or kit).
class KnownHeadsetUsb {
public:
    enum class Kind { Unknown, Headset, Accessory };

    static Kind kindOf(HeadsetIds::Id id);
};

} // namespace hlx::headsets
