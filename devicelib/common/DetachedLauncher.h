#pragma once

#include <string>

namespace hlx {

// Starts a program that outlives the caller and is none of its business: never its child, never
// waited for, never reading its input.
class DetachedLauncher {
public:
    enum class Result { Started, Missing, Failed };

    // The path in UTF-8, in full whatever the system's code page can spell. The program gets its
    // own path as argv[0] (its quoted path as the command line on Windows) and no arguments, in
    // the caller's working folder. Each system has its own backend.
    static Result start(const std::string &path);
};

} // namespace hlx
