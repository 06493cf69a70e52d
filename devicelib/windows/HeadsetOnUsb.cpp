#include "ThisDeviceSystem.h"

#include "WindowsDeviceSystem.h"

namespace hlx {

std::unique_ptr<DeviceSystem> thisDeviceSystem() {
    return std::make_unique<windows::WindowsDeviceSystem>();
}

} // namespace hlx
