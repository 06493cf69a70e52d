#pragma once

#include "Platform.h"

// What a start does that found the single-instance lock held elsewhere. The holder may be
// running, still starting (no window yet) or ending (its window already gone): a start must
// not be lost to one that is on its way out.
namespace RunningInstance {

// Brings the holder's window forward as soon as it is there and returns false, so that this
// start ends. Returns true when the holder ended all the same, soon after, or before its
// window was found, and this process took the lock: it then runs as the first instance.
// Gives up after a few seconds without either.
bool endedBeforeItsWindowWasFound(platform::LockHandle lock);

} // namespace RunningInstance
