#include "RuntimeDirectory.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// A folder that another user can enter, or a link that someone else may turn elsewhere, can
// hold anything a neighbour planted there; empty where the folder is a real directory of ours
// that nobody else can enter.
std::string privacyProblem(const std::string &path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return "it cannot be read";
    if (S_ISLNK(info.st_mode))
        return "it is a symbolic link";
    if (!S_ISDIR(info.st_mode))
        return "it is not a directory";
    if (info.st_uid != getuid())
        return "another user owns it";
    if ((info.st_mode & 077) != 0)
        return "others may enter it (mode " + std::to_string((info.st_mode >> 6) & 7) +
               std::to_string((info.st_mode >> 3) & 7) + std::to_string(info.st_mode & 7) +
               ", not 700)";
    return {};
}

bool isDirectory(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isPrivateDirectory(const std::string &path) {
    return privacyProblem(path).empty();
}

std::string privateTemporaryDirectory() {
    const char *tmp = std::getenv("TMPDIR");
    const std::string base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    const std::string path = base + "/hlx-runtime-" + std::to_string(getuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return isPrivateDirectory(path) ? path : std::string();
}

std::string fileNameSafe(std::string name) {
    for (char &c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == ':' || c == '.' || c == '-';
        if (!safe)
            c = '_';
    }
    return name;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isThisHost(const std::string &host) {
    static const std::set<std::string> localNames = {"",          "unix", "localhost",
                                                     "127.0.0.1", "::1",  "[::1]"};
    if (localNames.count(host) != 0)
        return true;
    char own[256] = {};
    return gethostname(own, sizeof own - 1) == 0 && host == lowerCase(own);
}

// The host of a display name, empty for this machine however it is spelt ("unix/:0",
// "localhost/unix:0", "unix:0", "localhost:0"): one X server, one key. The words before
// a slash name the transport, except where they name this machine.
std::string hostPart(const std::string &spelling) {
    static const std::set<std::string> transports = {"unix", "tcp", "inet", "inet6", "local"};
    std::string remote;
    std::string::size_type begin = 0;
    while (begin <= spelling.size()) {
        const std::string::size_type slash = std::min(spelling.find('/', begin), spelling.size());
        const std::string word = lowerCase(spelling.substr(begin, slash - begin));
        if (transports.count(word) == 0 && !isThisHost(word))
            remote = word;
        begin = slash + 1;
    }
    return remote;
}

} // namespace

std::string runtimeDirectory() {
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/' && isDirectory(xdg))
        return xdg;
    return privateTemporaryDirectory();
}

std::string privateRuntimeDirectory(std::string *refusal) {
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] != '\0') {
        const std::string problem =
            xdg[0] == '/' ? privacyProblem(xdg) : std::string("it is not an absolute path");
        if (problem.empty())
            return xdg;
        *refusal = "XDG_RUNTIME_DIR " + std::string(xdg) + " is passed over: " + problem;
    }
    return privateTemporaryDirectory();
}

std::string displayKey(const char *display) {
    const std::string name = display != nullptr ? display : "";
    const std::string::size_type colon = name.rfind(':');
    if (colon == std::string::npos)
        return fileNameSafe(name);
    const std::string host = hostPart(name.substr(0, colon));
    std::string number = name.substr(colon + 1);
    // The screen after the dot is one screen of the same server.
    number.erase(std::min(number.find('.'), number.size()));
    const std::string::size_type digits = number.find_first_not_of('0');
    const bool numeric = number.find_first_not_of("0123456789") == std::string::npos;
    if (numeric && !number.empty())
        number = digits == std::string::npos ? "0" : number.substr(digits);
    return fileNameSafe(host + ':' + number);
}

} // namespace platform
