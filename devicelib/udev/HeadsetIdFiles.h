#pragma once

#include "HeadsetIds.h"

#include <string>
#include <vector>

namespace hlx::udev {

// Where the ids come from: the rules of Debian's xr-hardware package, as udev itself would pick
// them (a file of the same name in /etc or /run replaces the packaged one), and the user's own
// list.
class HeadsetIdFiles {
public:
    static constexpr const char *rulesFileName = "70-xrhardware.rules";
    // Test hook: a folder that replaces all of udev's rule folders.
    static constexpr const char *rulesFolderVariable = "HLX_TEST_UDEV_RULES_DIR";

    enum class Problems { Report, Ignore };

    // Problems are reported when the links start to be followed, not again at every use.
    static headsets::HeadsetIds load(Problems problems);

private:
    // False if the file cannot be read; why on standard error, unless it is simply not there.
    static bool read(const std::string &path, std::string &content, Problems problems);
    static std::vector<std::string> rulesFolders();
    // ${XDG_CONFIG_HOME:-$HOME/.config}/hlx-config/hmd-ids
    static std::string userListPath();
};

} // namespace hlx::udev
