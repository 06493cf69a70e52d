#pragma once

#include "HeadsetDisplay.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <optional>
#include <string>
#include <vector>

namespace hlx {

// The RandR outputs of one X screen, as a client sees them at one moment.
class RandrOutputs {
public:
    struct Output {
        xcb_randr_output_t id = XCB_NONE;
        std::string name;
        bool connected = false;
        // The kernel's mark for displays that VR compositors lease; the X server then reports
        // the output as disconnected and keeps it off the desktop.
        bool nonDesktop = false;
        std::string edid;
        // Where the EDID was read when the X server had none: the kernel's connector, in words.
        std::string edidSource;
        // Why the kernel's connector could not be found, in words; empty if nothing went wrong.
        std::string edidProblem;
        // XCB_NONE when the output is not driven.
        xcb_randr_crtc_t crtc = XCB_NONE;
        HeadsetDisplay::Rect rect;
        double refreshHz = 0;
    };

    RandrOutputs(xcb_connection_t *connection, xcb_window_t root);

    const std::vector<Output> &outputs() const { return m_outputs; }
    const Output *find(const std::string &name) const;

private:
    std::string property(xcb_randr_output_t output, xcb_atom_t atom) const;

    xcb_connection_t *m_connection;
    std::vector<Output> m_outputs;
};

} // namespace hlx
