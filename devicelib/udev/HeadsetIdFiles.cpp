#include "HeadsetIdFiles.h"

#include "WholeFile.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace hlx::udev {

namespace {

std::string homeFolder() {
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    const passwd *entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

} // namespace

std::vector<std::string> HeadsetIdFiles::rulesFolders() {
    if (const char *override = std::getenv(rulesFolderVariable); override && *override)
        return {override};
    return {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
}

std::string HeadsetIdFiles::userListPath() {
    // XDG base directory rules: a relative XDG_CONFIG_HOME is to be ignored.
    const char *configHome = std::getenv("XDG_CONFIG_HOME");
    const std::string base =
        configHome && configHome[0] == '/' ? std::string(configHome) : homeFolder() + "/.config";
    return base + "/hlx-config/hmd-ids";
}

HeadsetIds HeadsetIdFiles::load() {
    HeadsetIds ids;
    std::string content;
    for (const std::string &folder : rulesFolders()) {
        if (readWholeFile(folder + '/' + rulesFileName, content)) {
            ids.addUdevRules(content);
            break;
        }
    }
    if (readWholeFile(userListPath(), content))
        ids.addUserList(content);
    return ids;
}

} // namespace hlx::udev
