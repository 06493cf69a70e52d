#pragma once

#include "DisplayGamma.h"
#include "HeadsetDisplay.h"
#include "OwnRampStore.h"

#include <string>

namespace hlx {

// What hlx-headsets says of the headset's display on every system: where it is, whether the eye
// shield is on it (a table the shield made of the display's own, as `ownRamps` keeps it), and
// otherwise what the eye-shield entries answer and why. Whole lines. `directModeLease`: for a
// display in direct mode, whether the system would lend it to a program now, and why not.
std::string headsetDisplayReport(const HeadsetDisplay &display, DisplayGamma &gamma,
                                 OwnRampStore &ownRamps, bool headsetOnUsb,
                                 const std::string &directModeLease = {});

} // namespace hlx
