#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// Catches what this process writes to the system's debugger output while it lives, as a
// debugger would see it.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture &) = delete;
    DebugOutputCapture &operator=(const DebugOutputCapture &) = delete;

    // One entry per message: on Windows per OutputDebugString call, on Linux per line, where
    // a last line without its line end comes back as "(no line end) <text>".
    std::vector<std::string> messages();

private:
    std::intptr_t m_handles[4] = {};
};

} // namespace support
