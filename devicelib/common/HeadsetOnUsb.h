#pragma once

#include "DeviceSystem.h"

#include <memory>

namespace hlx {

// The device system of the system this is built for, for a program that asks what the device
// library would see, as the demo does before it chooses a display.
std::unique_ptr<DeviceSystem> thisDeviceSystem();

} // namespace hlx
