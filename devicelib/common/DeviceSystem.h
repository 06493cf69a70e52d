#pragma once

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
};

} // namespace hlx
