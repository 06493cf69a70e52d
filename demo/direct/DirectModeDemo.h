#pragma once

#include "DirectModeHooks.h"

#include "HeadsetDisplay.h"

#include <QString>

#include <memory>

// The demo on a headset display that the system keeps off the desktop ("direct mode"): the
// display is taken from the system for the demo alone, the scene goes to it at the display's
// own mode and pace, and a small window on the primary display says so. The demo ends (the
// application's event loop exits with 0) when that window is closed, the headset leaves, or
// the system takes the display back; destroying the object hands the display back.
class DirectModeDemo {
public:
    virtual ~DirectModeDemo() = default;

    // Null where the display cannot be had; then `refusal` says why, in words for the user.
    static std::unique_ptr<DirectModeDemo> start(const hlx::HeadsetDisplay &headset,
                                                 const DirectModeHooks &hooks, QString *refusal);

protected:
    DirectModeDemo() = default;
};
