#include "DeviceSide.h"

#include "HeadsetIdFiles.h"
#include "UsbLink.h"

namespace hlx::windows {

DeviceSide &DeviceSide::instance() {
    static DeviceSide *const deviceSide = new DeviceSide;
    return *deviceSide;
}

int DeviceSide::init() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_watcher)
        return entryResult::ok;
    auto watcher =
        std::make_unique<LinkWatcher>(HeadsetIdFiles::load(HeadsetIdFiles::Problems::ToDebugger));
    if (!watcher->start())
        return entryResult::failed;
    m_watcher = std::move(watcher);
    return entryResult::ok;
}

int DeviceSide::deinit() {
    std::unique_ptr<LinkWatcher> watcher;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        watcher = std::move(m_watcher);
    }
    // Joined outside the lock, so that no other entry point waits on the thread's last message.
    watcher.reset();
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
    const headsets::HeadsetIds ids = HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore);
    UsbLink usb(ids);
    usb.scan();
    return usb.up() ? entryResult::notSupported : entryResult::unavailable;
}

} // namespace hlx::windows
