#pragma once

#include <string>

namespace hlx::headsets {

// Whether a device is one of the headset's links, and why, in words a user can check.
struct Verdict {
    bool headset = false;
    std::string why;
};

} // namespace hlx::headsets
