#pragma once

#include "HeadsetDisplayReport.h"

#include <string>

namespace hlx {

// Whether the headset's display in direct mode could be had now, as hlx-headsets says it: held by
// our demo, or a lease taken of `output` and freed at once, or the X server's refusal in words.
DirectModeLease directModeLeaseCheck(const std::string &output);

} // namespace hlx
