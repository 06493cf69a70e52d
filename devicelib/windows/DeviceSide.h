#pragma once

#include "DisplayCapturer.h"
#include "EntryResults.h"
#include "LinkWatcher.h"

#include <memory>
#include <mutex>

namespace hlx::windows {

// Everything behind the library's C entry points, shared by whichever threads call them.
class DeviceSide {
public:
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
    DisplayCapturer m_capturer;
};

} // namespace hlx::windows
