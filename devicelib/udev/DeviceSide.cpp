#include "DeviceSide.h"

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
        return entryResult::ok;
    // Without the display the links could be followed but never told.
    if (!XConnection(nullptr).isValid())
        return entryResult::failed;
    auto monitor =
        std::make_unique<LinkMonitor>(HeadsetIdFiles::load(HeadsetIdFiles::Problems::Report));
    if (!monitor->start())
        return entryResult::failed;
    m_monitor = std::move(monitor);
    return entryResult::ok;
}

int DeviceSide::deinit() {
    std::unique_ptr<LinkMonitor> monitor;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        monitor = std::move(m_monitor);
    }
    // Joined outside the lock, so that no other entry point waits on the thread's last message.
    monitor.reset();
    return entryResult::ok;
}

int DeviceSide::setCapturerPath(const char *utf8Path) {
    m_capturer.setPath(utf8Path);
    return entryResult::ok;
}

int DeviceSide::startCapturer() {
    return m_capturer.start();
}

int DeviceSide::switchEyeshield() {
    // Asked afresh each time, so the answer holds whether or not the links are being followed.
    const UdevContext context(udev_new());
    if (!context)
        return entryResult::failed;
    const headsets::HeadsetIds ids = HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore);
    UsbLink usb(ids);
    usb.scan(context.get());
    return usb.up() ? entryResult::notSupported : entryResult::unavailable;
}

} // namespace hlx::udev
