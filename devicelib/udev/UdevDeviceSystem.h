#pragma once

#include "DeviceSystem.h"

namespace hlx::udev {

// Links read from udev, announced on the X display.
class UdevDeviceSystem final : public DeviceSystem {
public:
    std::unique_ptr<Following> followLinks() override;
    std::optional<bool> headsetOnUsb() override;
};

} // namespace hlx::udev
