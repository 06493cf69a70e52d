#pragma once

#include "HeadsetDisplay.h"
#include "HeadsetIds.h"

#include <vector>

namespace hlx {

// Maps the headset judge's verdict on each connected display to the desktop: which display is
// the headset's, and whether and where it is on the desktop. Each system has its own
// implementation (RandR outputs on X11, display devices and monitors on Windows).
class HeadsetDisplayFinder {
public:
    // Judged by the built-in tables and the user's own list, read now.
    HeadsetDisplayFinder();
    explicit HeadsetDisplayFinder(headsets::HeadsetIds ids);

    // The headset's display as the desktop has it now. With several, the first on the desktop,
    // else the first connected.
    HeadsetDisplay find() const;
    // Every connected display, headset or not, for a user who wonders why: `why` holds the
    // judge's verdict, and `headset` is empty for a display that is no headset's.
    std::vector<HeadsetDisplay> all() const;

private:
    headsets::HeadsetIds m_ids;
};

} // namespace hlx
