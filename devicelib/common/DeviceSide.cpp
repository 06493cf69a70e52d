#include "DeviceSide.h"

#include "EntryResults.h"

namespace hlx {

DeviceSide::DeviceSide(std::unique_ptr<DeviceSystem> system)
    : m_system(std::move(system))
    , m_eyeshield(m_system->gamma(), m_system->ownRamps()) {}

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
    if (m_system->raiseCapturer())
        return entryResult::ok;
    return m_capturer.start();
}

int DeviceSide::stopCapturer() {
    return m_system->closeCapturer() ? entryResult::ok : entryResult::unavailable;
}

int DeviceSide::enableEyeshield(int level) {
    // A level the shield does not have changes nothing, whatever is plugged.
    if (!Eyeshield::temperatureOf(level))
        return entryResult::failed;
    const HeadsetDisplay display = m_system->headsetDisplay();
    const DeviceSystem::LeasedShield leased = m_system->chooseLeasedShield(display, level);
    if (display.place != HeadsetDisplay::Place::Desktop) {
        if (leased == DeviceSystem::LeasedShield::NotHeld)
            return headsetAwayResult(display);
        return leased == DeviceSystem::LeasedShield::Shown ? entryResult::ok : entryResult::failed;
    }
    const int result = m_eyeshield.switchOn(display, level);
    if (result == entryResult::ok)
        watchDisplays();
    return result;
}

int DeviceSide::disableEyeshield() {
    const HeadsetDisplay display = m_system->headsetDisplay();
    const DeviceSystem::LeasedShield leased = m_system->chooseLeasedShield(display, 0);
    if (leased == DeviceSystem::LeasedShield::Refused)
        return entryResult::failed;
    if (display.place != HeadsetDisplay::Place::Desktop) {
        // Off holds wherever the display is: the utility stores the choice, and the display gets
        // its own colours when it is back on the desktop.
        m_eyeshield.switchOffAway();
        watchDisplays();
        return entryResult::ok;
    }
    const int result = m_eyeshield.switchOff(display);
    if (result == entryResult::ok) {
        std::unique_ptr<DeviceSystem::Following> watch;
        {
            const std::lock_guard<std::mutex> lock(m_watchMutex);
            watch = std::move(m_displayWatch);
        }
        // Stopped outside the lock: its thread may be in onDisplaysChanged right now.
        watch.reset();
    }
    return result;
}

int DeviceSide::headsetAwayResult(const HeadsetDisplay &display) {
    if (display.place == HeadsetDisplay::Place::OffDesktop)
        return entryResult::notOnDesktop;
    // Asked afresh each time, so the answer holds whether or not the links are being followed.
    const std::optional<bool> onUsb = m_system->headsetOnUsb();
    if (!onUsb)
        return entryResult::failed;
    return *onUsb ? entryResult::notOnDesktop : entryResult::unavailable;
}

void DeviceSide::watchDisplays() {
    const std::lock_guard<std::mutex> lock(m_watchMutex);
    if (!m_displayWatch)
        m_displayWatch = m_system->watchDisplays([this] { onDisplaysChanged(); });
}

void DeviceSide::onDisplaysChanged() {
    // A display leased to the demo is not on the desktop, so its CRTC, which the demo's shield
    // drives then, is never written from here.
    const HeadsetDisplay display = m_system->headsetDisplay();
    if (display.place == HeadsetDisplay::Place::Desktop)
        m_eyeshield.reapply(display);
}

} // namespace hlx
