#pragma once

#include "HeadsetDisplay.h"

#include <QImage>
#include <QRegion>

#include <cstdint>
#include <functional>

class QWidget;

// The CRTC a direct-mode demo drives through its lease, for whoever sets its gamma table.
struct LeasedCrtc {
    // The lease's DRM descriptor: the demo's, valid until the demo's window is destroyed.
    int fd = -1;
    // The kernel's id of the CRTC, as the lease's own resources give it.
    uint32_t crtcId = 0;
    // Entries of each channel of the CRTC's gamma table; 0 where it has none.
    int gammaSize = 0;
    // The display it drives, as the finder found it: what the CRTC's own table is kept by.
    hlx::HeadsetDisplay display;
};

// Where the eye shield and the mirror join the demo in direct mode. Each is optional.
struct DirectModeHooks {
    // Once the lease is held, before the first picture reaches the headset. `window` is the
    // demo's window on the desktop, where acknowledgements go; it is destroyed before the lease
    // is given back, so objects parented to it go while the descriptor is still open.
    std::function<void(const LeasedCrtc &crtc, QWidget *window)> leaseTaken;
    // After each flip: the whole picture now on the headset (both eyes side by side, over the
    // buffer being scanned out, valid until this returns) and where it differs from the one
    // before it.
    using FrameShown = std::function<void(const QImage &frame, const QRegion &changed)>;
    FrameShown frameShown;
};
