#pragma once

#include "Links.h"

namespace hlx::udev {

// Tells every top-level window of $DISPLAY about link changes with the device messages, over a
// connection of its own for each batch, so that an idle library holds no X connection open.
class LinkAnnouncer {
public:
    // The messages for the links that differ, links coming up display first (as a headset is
    // plugged), links going down USB first. False if the display could not be reached.
    static bool announceChanges(const Links &before, const Links &after);
};

} // namespace hlx::udev
