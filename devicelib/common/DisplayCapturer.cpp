#include "DisplayCapturer.h"

#include "DetachedLauncher.h"
#include "EntryResults.h"

namespace hlx {

void DisplayCapturer::setPath(const char *utf8Path) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (utf8Path)
        m_path = utf8Path;
    else
        m_path.reset();
}

int DisplayCapturer::start() const {
    std::optional<std::string> path;
    {
        // Not held while starting, so that a slow start holds up no other entry point.
        const std::lock_guard<std::mutex> lock(m_mutex);
        path = m_path;
    }
    if (!path)
        return entryResult::unavailable;
    switch (DetachedLauncher::start(*path)) {
    case DetachedLauncher::Result::Started:
        return entryResult::ok;
    case DetachedLauncher::Result::Missing:
        return entryResult::unavailable;
    case DetachedLauncher::Result::Failed:
        break;
    }
    return entryResult::failed;
}

} // namespace hlx
