#pragma once

#include <libudev.h>

#include <memory>

namespace hlx::udev {

// libudev's objects are reference-counted C objects; these give each reference one owner.
struct UdevUnref {
    void operator()(struct ::udev *context) const { udev_unref(context); }
    void operator()(udev_device *device) const { udev_device_unref(device); }
    void operator()(udev_monitor *monitor) const { udev_monitor_unref(monitor); }
    void operator()(udev_enumerate *enumerate) const { udev_enumerate_unref(enumerate); }
};

using UdevContext = std::unique_ptr<struct ::udev, UdevUnref>;
using UdevDevice = std::unique_ptr<udev_device, UdevUnref>;
using UdevMonitor = std::unique_ptr<udev_monitor, UdevUnref>;
using UdevEnumerate = std::unique_ptr<udev_enumerate, UdevUnref>;

// Scans with the matches already added to `enumerate` and hands each device found to `found`,
// which may not keep it.
template <typename Found>
void forEachDevice(struct ::udev *context, udev_enumerate *enumerate, Found &&found) {
    udev_enumerate_scan_devices(enumerate);
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
        const UdevDevice device(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (device)
            found(device.get());
    }
}

} // namespace hlx::udev
