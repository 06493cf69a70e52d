#pragma once

#include <string>

namespace hlx::headsets {

// Whether a device is one of the headset's links, and why, in words a user can check.
struct Verdict {
    bool headset = false;
    std::string why;
    // A headset's USB device: the headset as a user calls it ("Valve Index"), else its id.
    std::string name = {};
};

} // namespace hlx::headsets
