#include "RuntimeDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool isDirectory(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A shared temporary folder can hold anything a neighbour planted there, so the folder is
// only trusted when it is a real directory of ours that nobody else can enter.
bool isPrivateDirectory(const std::string &path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 077) == 0;
}

std::string privateTemporaryDirectory() {
    const char *tmp = std::getenv("TMPDIR");
    const std::string base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    const std::string path = base + "/hlx-runtime-" + std::to_string(getuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return isPrivateDirectory(path) ? path : std::string();
}

} // namespace

std::string runtimeDirectory() {
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/' && isDirectory(xdg))
        return xdg;
    return privateTemporaryDirectory();
}

std::string displayKey(const char *display) {
    std::string name = display != nullptr ? display : "";
    if (name.rfind("unix:", 0) == 0)
        name.erase(0, 4);
    const std::string::size_type colon = name.rfind(':');
    const std::string::size_type dot = name.find('.', colon == std::string::npos ? 0 : colon);
    if (colon != std::string::npos && dot != std::string::npos)
        name.erase(dot);
    for (char &c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == ':' || c == '.' || c == '-';
        if (!safe)
            c = '_';
    }
    return name;
}

} // namespace platform
