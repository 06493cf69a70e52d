#pragma once

#include "DisplayGamma.h"
#include "HeadsetDisplay.h"
#include "OwnRampStore.h"

#include <string>

namespace hlx {

// Whether the system would lend a display in direct mode to a program now, as its check says.
struct DirectModeLease {
    std::string said;
    // Our demo shows on it, and through it the eye shield reaches the display.
    bool heldByDemo = false;
    // While it holds it: what the eye-shield entries answer, asked through it.
    int shieldAnswer = 0;
};

// What hlx-headsets says of the headset's display on every system: where it is, whether the eye
// shield is on it (a table the shield made of the display's own, as `ownRamps` keeps it), and
// otherwise what the eye-shield entries answer and why. Whole lines. `directModeLease`: for a
// display in direct mode.
std::string headsetDisplayReport(const HeadsetDisplay &display, DisplayGamma &gamma,
                                 OwnRampStore &ownRamps, bool headsetOnUsb,
                                 const DirectModeLease &directModeLease = {});

} // namespace hlx
