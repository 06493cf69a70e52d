#pragma once

#include "LinkWatcher.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace hlx::windows {

// Everything behind the library's C entry points, shared by whichever threads call them.
class DeviceSide {
public:
    static constexpr int ok = 0;
    static constexpr int failed = -1;
    // No listed headset on USB, or no capturer at the stored path.
    static constexpr int unavailable = -2;
    // A headset is there, but no way to switch its eye shield is known: nothing was switched.
    static constexpr int notSupported = -3;

    // Never destroyed: its destructor would run inside DllMain, where no thread may be joined.
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
    std::unique_ptr<LinkWatcher> m_watcher;
    std::optional<std::string> m_capturerPath;
};

} // namespace hlx::windows
