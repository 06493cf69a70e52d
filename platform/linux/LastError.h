#pragma once

#include <string>

namespace platform {

// What the last failed library call of this thread left behind: POSIX has no per-thread
// "last error" that survives later calls, so it is kept here until the next failure.
struct LastError {
    int code = 0;
    // Empty when the failure came with no text of its own.
    std::string text;
};

LastError &lastError();

} // namespace platform
