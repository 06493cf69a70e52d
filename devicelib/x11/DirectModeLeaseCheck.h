#pragma once

#include "HeadsetDisplayReport.h"

#include <string>

namespace hlx {

// Whether the headset's display in direct mode could be had now, as hlx-headsets says it: held by
// our demo (and what the eye-shield entries answer through it), lent to another program, or
// offered, as RandR tells any client. A lease is taken, and freed at once, only with `tryLease`:
// while one is held the output reads as disconnected to every client, and a VR program that
// starts then is refused.
DirectModeLease directModeLeaseCheck(const HeadsetDisplay &display, bool tryLease);

} // namespace hlx
