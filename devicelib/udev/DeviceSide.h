#pragma once

#include "DisplayCapturer.h"
#include "EntryResults.h"
#include "LinkMonitor.h"

#include <memory>
#include <mutex>

namespace hlx::udev {

// Everything behind the library's C entry points, shared by whichever threads call them.
class DeviceSide {
public:
    static DeviceSide &instance();

    // Starts following the links; a second call while they are followed changes nothing.
    int init();
    // Stops following them; harmless when nothing is followed.
    int deinit();
    int setCapturerPath(const char *utf8Path);
    int startCapturer();
    int switchEyeshield();

private:
    std::mutex m_mutex;
    std::unique_ptr<LinkMonitor> m_monitor;
    DisplayCapturer m_capturer;
};

} // namespace hlx::udev
