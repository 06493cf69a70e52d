#include "WindowsDeviceSystem.h"

#include "HeadsetIdFiles.h"
#include "LinkWatcher.h"
#include "PresentHeadsets.h"

namespace hlx::windows {

std::unique_ptr<DeviceSystem::Following> WindowsDeviceSystem::followLinks() {
    auto watcher =
        std::make_unique<LinkWatcher>(HeadsetIdFiles::load(HeadsetIdFiles::Problems::ToDebugger));
    if (!watcher->start())
        return nullptr;
    return watcher;
}

std::optional<bool> WindowsDeviceSystem::headsetOnUsb() {
    return headsetUsbPresent(HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore));
}

} // namespace hlx::windows
