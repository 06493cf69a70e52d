#include "DeviceSide.h"

#include "EntryResults.h"

namespace hlx {

DeviceSide::DeviceSide(std::unique_ptr<DeviceSystem> system)
    : m_system(std::move(system)) {}

int DeviceSide::init() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_following)
        m_following = m_system->followLinks();
    return m_following ? entryResult::ok : entryResult::failed;
}

int DeviceSide::deinit() {
    std::unique_ptr<DeviceSystem::Following> following;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        following = std::move(m_following);
    }
    // Joined outside the lock, so that no other entry point waits on the thread's last message.
    following.reset();
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
    const std::optional<bool> headset = m_system->headsetOnUsb();
    if (!headset)
        return entryResult::failed;
    return *headset ? entryResult::notSupported : entryResult::unavailable;
}

} // namespace hlx
