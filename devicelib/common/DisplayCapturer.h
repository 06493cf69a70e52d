#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace hlx {

// The screen capturer that the host names and asks to start, from whichever thread calls the
// entry points.
class DisplayCapturer {
public:
    // A null path forgets the one recorded.
    void setPath(const char *utf8Path);
    // An entry result: started, unavailable when no path is recorded or nothing is there, failed
    // when it is there but does not start.
    int start() const;

private:
    mutable std::mutex m_mutex;
    std::optional<std::string> m_path;
};

} // namespace hlx
