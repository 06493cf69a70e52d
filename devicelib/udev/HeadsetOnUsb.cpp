#include "ThisDeviceSystem.h"

#include "UdevDeviceSystem.h"

namespace hlx {

std::unique_ptr<DeviceSystem> thisDeviceSystem() {
    return std::make_unique<udev::UdevDeviceSystem>();
}

} // namespace hlx
