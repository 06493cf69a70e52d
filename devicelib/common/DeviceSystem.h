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

    // The screen capturer already running in this session: raised, or asked to close. False
    // when none runs.
    virtual bool raiseCapturer() = 0;
    virtual bool closeCapturer() = 0;
};

} // namespace hlx
