#pragma once

#include "HeadsetIds.h"

#include <string_view>

namespace hlx::headsets {

// What a USB id is known to be: a headset's own device (its hub, display controller, HID or
// sensor device), or an accessory that may be plugged without any headset (a controller, a
// tracker, a base-station radio, a tracking camera or kit).
class KnownHeadsetUsb {
public:
    enum class Kind { Unknown, Headset, Accessory };

    static Kind kindOf(HeadsetIds::Id id);
    // What a user calls the device's product ("Valve Index"); empty for an id not in the table.
    static std::string_view nameOf(HeadsetIds::Id id);
};

} // namespace hlx::headsets
