#pragma once

#include <cstdint>
#include <string>

// The operating-system services the utility needs, in standard C++ only so that every
// backend builds without Qt. Exactly one backend is compiled in, chosen by the build.
namespace platform {

// Opaque handle of a named lock; only the backend knows what it holds.
using LockHandle = std::intptr_t;

struct NamedLock {
    LockHandle handle;
    // True when another process of this user (on this display) already holds the lock.
    bool heldElsewhere;
};

// Creates and takes the named lock for the life of the process. A lock that cannot be
// created at all is reported as not held elsewhere, so the caller goes on as the first
// instance rather than refusing to start.
NamedLock createNamedLock(const std::string &name);

// Gives up a lock handle that createNamedLock returned.
void closeNamedLock(LockHandle handle);

// Brings forward the top-level window that Qt created for `applicationName` with the
// title `title` (UTF-8). A hidden window stays hidden. Returns whether one was found.
bool bringWindowToFront(const std::string &applicationName, const std::string &title);

} // namespace platform
