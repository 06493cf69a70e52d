#include "UdevDeviceSystem.h"

#include "CapturerWindow.h"
#include "DirectModeShieldRequest.h"
#include "HeadsetDisplayFinder.h"
#include "HeadsetIdFiles.h"
#include "LinkMonitor.h"
#include "RandrDisplayWatch.h"
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

HeadsetDisplay UdevDeviceSystem::headsetDisplay() {
    return HeadsetDisplayFinder().find();
}

std::unique_ptr<DeviceSystem::Following>
UdevDeviceSystem::watchDisplays(std::function<void()> changed) {
    auto watch = std::make_unique<RandrDisplayWatch>(std::move(changed));
    if (!watch->start())
        return nullptr;
    return watch;
}

DeviceSystem::LeasedShield UdevDeviceSystem::chooseLeasedShield(const HeadsetDisplay &display,
                                                                int level) {
    return DirectModeShieldRequest::send(display, level);
}

bool UdevDeviceSystem::raiseCapturer() {
    return CapturerWindow::raise();
}

bool UdevDeviceSystem::closeCapturer() {
    return CapturerWindow::close();
}

} // namespace hlx::udev
