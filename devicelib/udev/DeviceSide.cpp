#include "DeviceSide.h"

#include "DetachedLauncher.h"
#include "HeadsetIdFiles.h"
#include "UdevHandles.h"
#include "UsbLink.h"
#include "XConnection.h"

namespace hlx::udev {

DeviceSide &DeviceSide::instance() {
    static DeviceSide deviceSide;
    return deviceSide;
}

int DeviceSide::init() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_monitor)
        return ok;
    // Without the display the links could be followed but never told.
    if (!XConnection(nullptr).isValid())
        return failed;
    auto monitor =
        std::make_unique<LinkMonitor>(HeadsetIdFiles::load(HeadsetIdFiles::Problems::Report));
    if (!monitor->start())
        return failed;
    m_monitor = std::move(monitor);
    return ok;
}

int DeviceSide::deinit() {
    std::unique_ptr<LinkMonitor> monitor;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        monitor = std::move(m_monitor);
    }
    // Joined outside the lock, so that no other entry point waits on the thread's last message.
    monitor.reset();
    return ok;
}

int DeviceSide::setCapturerPath(const char *utf8Path) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (utf8Path)
        m_capturerPath = utf8Path;
    else
        m_capturerPath.reset();
    return ok;
}

int DeviceSide::startCapturer() {
    std::optional<std::string> path;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        path = m_capturerPath;
    }
    if (!path)
        return unavailable;
    switch (DetachedLauncher::start(*path)) {
    case DetachedLauncher::Result::Started:
        return ok;
    case DetachedLauncher::Result::Missing:
        return unavailable;
    case DetachedLauncher::Result::Failed:
        break;
    }
    return failed;
}

int DeviceSide::switchEyeshield() {
    // Asked afresh each time, so the answer holds whether or not the links are being followed.
    const UdevContext context(udev_new());
    if (!context)
        return failed;
    const headsets::HeadsetIds ids = HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore);
    UsbLink usb(ids);
    usb.scan(context.get());
    return usb.up() ? notSupported : unavailable;
}

} // namespace hlx::udev
