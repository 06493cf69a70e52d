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

// A frame of the headset's display as its eyes' pictures make it: the left at the display's left
// edge, the right beside it; a column left over by an odd width stays black.
struct EyesFrame {
    QSize displaySize;
    const QImage &left;
    const QImage &right;
    // Where it differs from the frame before it, in the display's pixels.
    QRegion changed;
};

// Where the eye shield and the mirror join the demo in direct mode. Each is optional.
struct DirectModeHooks {
    // Once the lease is held, before the first picture reaches the headset. `window` is the
    // demo's window on the desktop, where acknowledgements go; it is destroyed before the lease
    // is given back, so objects parented to it go while the descriptor is still open.
    std::function<void(const LeasedCrtc &crtc, QWidget *window)> leaseTaken;
    // Once each flip is asked for: the frame it brings, as the eyes' pictures hold it (valid
    // until this returns). The buffers themselves are never read; a driver may keep them in
    // write-combined memory, where a read of a frame takes longer than the frame.
    using FrameAsked = std::function<void(const EyesFrame &frame)>;
    FrameAsked frameAsked;
};
