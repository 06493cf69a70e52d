#pragma once

#include "DeviceSystem.h"

namespace hlx::windows {

// Links read from SetupAPI, announced as registered window messages.
class WindowsDeviceSystem final : public DeviceSystem {
public:
    std::unique_ptr<Following> followLinks() override;
    std::optional<bool> headsetOnUsb() override;
};

} // namespace hlx::windows
