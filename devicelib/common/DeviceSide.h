#pragma once

#include "DeviceSystem.h"
#include "DisplayCapturer.h"
#include "Eyeshield.h"

#include <memory>
#include <mutex>

namespace hlx {

// Everything behind the library's C entry points, shared by whichever threads call them.
class DeviceSide {
public:
    explicit DeviceSide(std::unique_ptr<DeviceSystem> system);

    // Starts following the links; a second call while they are followed changes nothing.
    int init();
    // Stops following them; harmless when nothing is followed.
    int deinit();
    int setCapturerPath(const char *utf8Path);
    // Raises the capturer already running in this session instead of starting a second.
    int startCapturer();
    int stopCapturer();
    int enableEyeshield(int level);
    int disableEyeshield();

private:
    // Why the shield cannot be switched when the headset's display is not on the desktop.
    int headsetAwayResult(const HeadsetDisplay &display);
    // Until the shield is switched off on the desktop: the shield's table, or the display's own
    // after an off while it was away, goes on a headset display that comes back.
    void watchDisplays();
    void onDisplaysChanged();

    const std::unique_ptr<DeviceSystem> m_system;
    std::mutex m_mutex;
    std::unique_ptr<DeviceSystem::Following> m_following;
    DisplayCapturer m_capturer;
    Eyeshield m_eyeshield;
    std::mutex m_watchMutex;
    std::unique_ptr<DeviceSystem::Following> m_displayWatch;
};

} // namespace hlx
