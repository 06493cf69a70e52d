#pragma once

namespace hlx {

// The screen capturer's window on $DISPLAY: the capturer marks its top-level window with the
// property _HLX_DISPLAY_CAPTURER, so that the device library can tell whether one runs.
class CapturerWindow {
public:
    static constexpr const char *markProperty = "_HLX_DISPLAY_CAPTURER";

    // Brings it to the front; false if no capturer runs.
    static bool raise();
    // Asks it to close as its close button would; false if no capturer runs.
    static bool close();
};

} // namespace hlx
