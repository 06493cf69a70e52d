#pragma once

#include <string>

namespace hlx {

// Where the headset's display is on this desktop, as the headset judge sees the displays.
struct HeadsetDisplay {
    enum class Place {
        // Part of the desktop: `rect` and `refreshHz` say where and how fast.
        Desktop,
        // Connected, but kept off the desktop (the kernel's non-desktop displays that VR
        // compositors lease, Windows direct mode) or not switched on; `why` says which.
        OffDesktop,
        // No display that is a headset's.
        None,
    };
    struct Rect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    Place place = Place::None;
    // Off the desktop because the system keeps it for VR software that drives it directly (the
    // X server's non-desktop outputs, Windows's direct mode), rather than merely switched off.
    bool directMode = false;
    // The headset as its EDID names it, as in "VLV 91a8 (Index HMD)".
    std::string headset;
    // The system's name of the display: the RandR output ("DP-1"), or the Windows display
    // device ("\\.\DISPLAY2").
    std::string output;
    // Tells this display from another on the same output (see edidIdentity); empty without an
    // EDID.
    std::string identity;
    // In desktop pixels; empty unless the display is on the desktop.
    Rect rect;
    double refreshHz = 0;
    // On the desktop: why it counts as a headset. Off it: why it is not on the desktop.
    std::string why;
};

} // namespace hlx
