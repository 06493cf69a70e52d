#pragma once

#include "DeviceMessages.h"

#include <vector>

namespace hlx::windows {

// Tells top-level windows about link changes with the registered device messages, posted so that
// a busy or hung window never holds up the library.
class LinkAnnouncer {
public:
    enum class Audience {
        // Every top-level window of the session, as a device side announces a change.
        AllWindows,
        // The top-level windows of this process: the one that started following the links.
        ThisProcess,
    };

    static void announce(const std::vector<const DeviceMessage *> &messages, Audience audience);
};

} // namespace hlx::windows
