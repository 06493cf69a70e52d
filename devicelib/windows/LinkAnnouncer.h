#pragma once

#include "Links.h"

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

    // The messages for the links that differ, links coming up display first (as a headset is
    // plugged), links going down USB first.
    static void announceChanges(const Links &before, const Links &after, Audience audience);
};

} // namespace hlx::windows
