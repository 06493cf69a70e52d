#pragma once

#include <string>

namespace hlx {

// Starts a program that outlives the caller and is none of its business: never its child, never
// waited for, never reading its input.
class DetachedLauncher {
public:
    enum class Result { Started, Missing, Failed };

    // The program gets its own path as argv[0] and no arguments, in the caller's working folder.
    static Result start(const std::string &path);
};

} // namespace hlx
