#pragma once

#include "DeviceMessages.h"

#include <vector>

namespace hlx::udev {

// Tells every top-level window of $DISPLAY about link changes with the device messages, over a
// connection of its own for each batch, so that an idle library holds no X connection open.
class LinkAnnouncer {
public:
    // False if the display could not be reached.
    static bool announce(const std::vector<const DeviceMessage *> &messages);
};

} // namespace hlx::udev
