#pragma once

#include "XConnection.h"

#include <optional>
#include <string>

namespace hlx {

// The demo that shows on a headset display leased from the X server, as the properties of
// DirectModeProtocol.h name it.
struct DirectModeHolder {
    xcb_window_t window = XCB_NONE;
    // The RandR output it has leased.
    std::string output;
    // Its frames' local socket; empty where it hands out none.
    std::string framesPath;

    // The demo the root window names, if its window still exists and says which output it holds:
    // a demo that was killed leaves the root's property behind.
    static std::optional<DirectModeHolder> find(XConnection &x);
};

// A STRING property of `window`; nothing if the window or the property is not there.
std::optional<std::string> stringProperty(XConnection &x, xcb_window_t window, xcb_atom_t atom);

// A CARDINAL/32 {serial, level} pair as the eye-shield properties carry it.
struct ShieldPair {
    uint32_t serial = 0;
    uint32_t level = 0;
};
std::optional<ShieldPair> shieldPairProperty(XConnection &x, xcb_window_t window, xcb_atom_t atom);
void setShieldPairProperty(XConnection &x, xcb_window_t window, xcb_atom_t atom, ShieldPair pair);

} // namespace hlx
