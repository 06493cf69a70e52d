#include "RunningInstance.h"

#include "NamedConstants.h"

#include <chrono>

namespace RunningInstance {

namespace {
// Longer than an ending instance takes to go, even on a loaded machine, and short enough that
// a start behind one that hangs without a window ends in a time a user waits for.
constexpr std::chrono::seconds kWaitForHolder(3);
constexpr int kPollMs = 50;
// A window found may belong to an instance that has been told to end but has not got to it
// yet: that one lets go of the lock within this time, a running one keeps it.
constexpr int kGraceForAnEndingHolderMs = 750;
} // namespace

bool endedBeforeItsWindowWasFound(platform::LockHandle lock) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitForHolder;
    for (;;) {
        if (platform::bringWindowToFront(hlx::kApplicationName, hlx::kWindowTitle))
            return platform::waitForNamedLock(lock, kGraceForAnEndingHolderMs);
        if (platform::waitForNamedLock(lock, kPollMs))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

} // namespace RunningInstance
