#include "HeadsetIdFiles.h"

#include "WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool HeadsetIdFiles::read(const std::string &path, std::string &content, Problems problems) {
    if (readWholeFile(path, content))
        return true;
    // A file that is not there is no news; one that is there and cannot be read is.
    if (errno != ENOENT && problems == Problems::Report)
        std::fprintf(stderr, "libHLX: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

headsets::HeadsetIds HeadsetIdFiles::load(Problems problems) {
    headsets::HeadsetIds ids;
    std::string content;
    for (const std::string &folder : rulesFolders()) {
        if (read(folder + '/' + rulesFileName, content, problems)) {
            ids.addUdevRules(content);
            break;
        }
    }
    const std::string userList = userListPath();
    if (read(userList, content, problems)) {
        for (const auto &[line, text] : ids.addUserList(content)) {
            if (problems == Problems::Report)
                std::fprintf(stderr, "libHLX: %s\n",
                             headsets::HeadsetIds::unreadLineProblem(userList, line, text).c_str());
        }
    }
    return ids;
}

} // namespace hlx::udev
