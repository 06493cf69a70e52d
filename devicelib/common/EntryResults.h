#pragma once

namespace hlx::entryResult {

// What the device libraries' entry points answer.
constexpr int ok = 0;
constexpr int failed = -1;
// No listed headset on USB, or no capturer at the stored path.
constexpr int unavailable = -2;
// A headset is there, but its display is not on the desktop (kept off it for VR compositors, or
// not connected at all): its colours cannot be set, and nothing was switched.
constexpr int notOnDesktop = -3;

} // namespace hlx::entryResult
