#include "DeviceSide.h"

#include "CapturerLauncher.h"
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
        return ok;
    auto watcher =
        std::make_unique<LinkWatcher>(HeadsetIdFiles::load(HeadsetIdFiles::Problems::ToDebugger));
    if (!watcher->start())
        return failed;
    m_watcher = std::move(watcher);
    return ok;
}

int DeviceSide::deinit() {
    std::unique_ptr<LinkWatcher> watcher;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        watcher = std::move(m_watcher);
    }
    // Joined outside the lock, so that no other entry point waits on the thread's last message.
    watcher.reset();
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
    switch (CapturerLauncher::start(*path)) {
    case CapturerLauncher::Result::Started:
        return ok;
    case CapturerLauncher::Result::Missing:
        return unavailable;
    case CapturerLauncher::Result::Failed:
        break;
    }
    return failed;
}

int DeviceSide::switchEyeshield() {
    // Asked afresh each time, so the answer holds whether or not the links are being followed.
    const headsets::HeadsetIds ids = HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore);
    UsbLink usb(ids);
    usb.scan();
    return usb.up() ? notSupported : unavailable;
}

} // namespace hlx::windows
