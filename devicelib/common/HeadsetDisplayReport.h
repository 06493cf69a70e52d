#pragma once

#include "DisplayGamma.h"
#include "HeadsetDisplay.h"
#include "OwnRampStore.h"

#include <string>

namespace hlx {

// What hlx-headsets says of the headset's display on every system: where it is, whether the eye
// shield is on it (a table the shield made of the display's own, as `ownRamps` keeps it), and
// otherwise what the eye-shield entries answer and why. Whole lines.
std::string headsetDisplayReport(const HeadsetDisplay &display, DisplayGamma &gamma,
                                 OwnRampStore &ownRamps, bool headsetOnUsb);

} // namespace hlx
