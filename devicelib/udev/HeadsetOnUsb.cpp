#include "HeadsetOnUsb.h"

#include "HeadsetIdFiles.h"
#include "UdevHandles.h"
#include "UsbLink.h"

namespace hlx {

std::string headsetOnUsb() {
    const udev::UdevContext context(udev_new());
    if (!context)
        return {};
    const udev::UdevEnumerate enumerate(udev_enumerate_new(context.get()));
    if (!enumerate)
        return {};
    const headsets::HeadsetIds ids =
        udev::HeadsetIdFiles::load(udev::HeadsetIdFiles::Problems::Ignore);
    const udev::UsbLink usb(ids);
    std::string name;
    udev_enumerate_add_match_subsystem(enumerate.get(), "usb");
    udev::forEachDevice(context.get(), enumerate.get(), [&](udev_device *device) {
        const headsets::Verdict verdict = usb.judge(device);
        if (verdict.headset && name.empty())
            name = verdict.name;
    });
    return name;
}

} // namespace hlx
