#include "UdevDeviceSystem.h"

#include "HeadsetIdFiles.h"
#include "LinkMonitor.h"
#include "UdevHandles.h"
#include "UsbLink.h"
#include "XConnection.h"

namespace hlx::udev {

std::unique_ptr<DeviceSystem::Following> UdevDeviceSystem::followLinks() {
    // Without the display the links could be followed but never told.
    if (!XConnection(nullptr).isValid())
        return nullptr;
    auto monitor =
        std::make_unique<LinkMonitor>(HeadsetIdFiles::load(HeadsetIdFiles::Problems::Report));
    if (!monitor->start())
        return nullptr;
    return monitor;
}

std::optional<bool> UdevDeviceSystem::headsetOnUsb() {
    const UdevContext context(udev_new());
    if (!context)
        return std::nullopt;
    const headsets::HeadsetIds ids = HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore);
    UsbLink usb(ids);
    usb.scan(context.get());
    return usb.up();
}

} // namespace hlx::udev
