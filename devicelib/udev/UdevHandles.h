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

} // namespace hlx::udev
