#pragma once

#include "DeviceSystem.h"

#include <chrono>

namespace hlx {

// The eye-shield choice as the demo that holds a headset display leased takes it: written on
// the root window for any demo that takes the display later, and, when one holds `display` now,
// answered by it once the CRTC shows it.
class DirectModeShieldRequest {
public:
    // A loaded machine may take a while to schedule the demo; it answers within a frame.
    static constexpr std::chrono::milliseconds answerBound{3000};

    static DeviceSystem::LeasedShield send(const HeadsetDisplay &display, int level,
                                           std::chrono::milliseconds bound = answerBound);
};

} // namespace hlx
