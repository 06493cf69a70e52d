#pragma once

namespace hlx::entryResult {

// What the device libraries' entry points answer.
constexpr int ok = 0;
constexpr int failed = -1;
// No listed headset on USB, or no capturer at the stored path.
constexpr int unavailable = -2;
// A headset is there, but no way to switch its eye shield is known: nothing was switched.
constexpr int notSupported = -3;

} // namespace hlx::entryResult
