#pragma once

#include "DeviceSystem.h"
#include "DisplayCapturer.h"

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
    int startCapturer();
    int switchEyeshield();

private:
    const std::unique_ptr<DeviceSystem> m_system;
    std::mutex m_mutex;
    std::unique_ptr<DeviceSystem::Following> m_following;
    DisplayCapturer m_capturer;
};

} // namespace hlx
