#pragma once

#include "DisplayGamma.h"
#include "HeadsetDisplay.h"

#include <string>

namespace hlx {

// What hlx-headsets says of the headset's display on every system: where it is, whether the eye
// shield is on it, and otherwise what the eye-shield entries answer and why. Whole lines.
std::string headsetDisplayReport(const HeadsetDisplay &display, DisplayGamma &gamma,
                                 bool headsetOnUsb);

} // namespace hlx
