#pragma once

#include "HeadsetIds.h"
#include "VerdictSeen.h"

namespace hlx::windows {

// The headset's two links as the devices present now make them; `seen`, if given, hears of each
// device judged. Windows keeps a device for everything it has seen, so only present ones count.

// Up while a present monitor's EDID marks a head-mounted display or names a listed one.
bool headsetDisplayPresent(const headsets::HeadsetIds &ids, const VerdictSeen &seen = nullptr);
// Up while at least one of a headset's own USB devices is present. A headset may bring several (a
// hub, the display's controller, sensors); accessories alone, however many, are no link. The
// interfaces of a composite device are parts of one device, not devices of their own.
bool headsetUsbPresent(const headsets::HeadsetIds &ids, const VerdictSeen &seen = nullptr);

} // namespace hlx::windows
