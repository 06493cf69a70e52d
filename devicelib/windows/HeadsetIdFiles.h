#pragma once

#include "HeadsetIds.h"

#include <string>

namespace hlx::windows {

// The user's own list of headsets, in the same format as on Linux, in the user's roaming
// application data folder. Windows has no udev rules, so the list and the built-in tables are all
// there is.
class HeadsetIdFiles {
public:
    enum class Problems { ToDebugger, ToStandardError, Ignore };

    // Problems are reported when the links start to be followed, not again at every use.
    static headsets::HeadsetIds load(Problems problems);
    // %APPDATA%\hlx-config\hmd-ids; empty if the folder is unknown.
    static std::wstring userListPath();

private:
    static void report(const std::string &problem, Problems problems);
};

} // namespace hlx::windows
