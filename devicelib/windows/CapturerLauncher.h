#pragma once

#include <string>

namespace hlx::windows {

// Starts the display capturer as a program of its own: not waited for, no handle of it kept, none
// of the caller's handles inherited.
class CapturerLauncher {
public:
    enum class Result { Started, Missing, Failed };

    // The UTF-8 path in full, whatever the system's ANSI code page can spell; the program gets its
    // own quoted path as its command line and the caller's working folder.
    static Result start(const std::string &utf8Path);
};

} // namespace hlx::windows
