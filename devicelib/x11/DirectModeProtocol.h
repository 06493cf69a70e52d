#pragma once

// How the demo that shows on a headset in direct mode (the display leased from the X server, so
// that no X client can draw on it) meets the device library and the capturer: X properties, so
// that a process that ends takes its half with its window, and a frame's pixels never pass
// through the X server.
namespace hlx::directmode {

// On the root window, WINDOW/32: the demo's window while the demo holds a lease. A stale value
// (the demo was killed) names a window that no longer exists, or one without outputAtom.
constexpr char demoWindowAtom[] = "_HLX_DIRECT_DEMO";

// On the demo's window, STRING: the RandR output (as the headset finder names it) that the demo
// has leased and shows on.
constexpr char outputAtom[] = "_HLX_DIRECT_OUTPUT";

// On the demo's window, STRING: the path of the local socket that hands out its frames.
constexpr char framesAtom[] = "_HLX_DIRECT_FRAMES";

// On the root window, CARDINAL/32 {serial, level}: the eye shield the user chose last, for a
// headset display in direct mode; level 0 is off. Written by every "Level" and "DisableEyeshield"
// call, so that a demo that takes the display later shows the choice too.
constexpr char shieldWantedAtom[] = "_HLX_DIRECT_EYESHIELD";

// On the demo's window, CARDINAL/32 {serial, level}: the wish of that serial as it now is on the
// leased CRTC; level shieldRefused where the CRTC refused the table. A caller takes it as its
// answer only where both match its wish: a writer that reads and writes the serial without a
// grab of the server may share it with another.
constexpr char shieldShownAtom[] = "_HLX_DIRECT_EYESHIELD_SHOWN";
constexpr unsigned shieldRefused = 0xffffffffu;

} // namespace hlx::directmode
