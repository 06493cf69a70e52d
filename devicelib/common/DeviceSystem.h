#pragma once

#include "DisplayGamma.h"
#include "HeadsetDisplay.h"
#include "OwnRampStore.h"

#include <functional>
#include <memory>
#include <optional>

namespace hlx {

// What each system's device library does its own way behind the entry points they share.
class DeviceSystem {
public:
    // Follows the links on a thread of its own, announcing each change, until it is destroyed.
    class Following {
    public:
        virtual ~Following() = default;
    };

    // What became of an eye-shield choice at a program of ours that holds the headset's display
    // leased from the window system (direct mode), where no desktop table reaches it.
    enum class LeasedShield { NotHeld, Shown, Refused };

    virtual ~DeviceSystem() = default;

    // Null when the links cannot be followed here.
    virtual std::unique_ptr<Following> followLinks() = 0;
    // Whether a headset is on USB at this moment; nothing when the system cannot be asked.
    virtual std::optional<bool> headsetOnUsb() = 0;

    // The headset's display as the desktop has it at this moment.
    virtual HeadsetDisplay headsetDisplay() = 0;
    virtual DisplayGamma &gamma() = 0;
    // Where the eye shield keeps a display's own table for the library's later runs.
    virtual OwnRampStore &ownRamps() = 0;
    // Calls `changed` from a thread of its own whenever the desktop's displays change (one
    // plugged or unplugged, a new mode), until the result is destroyed. Null when they cannot
    // be watched here.
    virtual std::unique_ptr<Following> watchDisplays(std::function<void()> changed) = 0;

    // Records `level` (0: off) as the choice for a headset display in direct mode, which a
    // program that takes the display later shows too, and, when one of ours holds `display`
    // now, waits until it shows it. Where the system has no direct mode of ours nothing holds it.
    virtual LeasedShield chooseLeasedShield(const HeadsetDisplay &, int) {
        return LeasedShield::NotHeld;
    }

    // The screen capturer already running in this session: raised, or asked to close. False
    // when none runs.
    virtual bool raiseCapturer() = 0;
    virtual bool closeCapturer() = 0;
};

} // namespace hlx
