// A device library for tests, built once per missing export. Every call is appended to the
// file that HLX_FAKE_LOG names, one line with its arguments; each result comes from
// HLX_FAKE_RESULT_<export> (default 0), read at every call so a test can change it.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char *const kMessageNames[] = {
    "WM_GAME_START",           "WM_GAME_STOP",      "WM_GAME_ALIVE",       "WM_VORN_MONITOR_ADDED",
    "WM_VORN_MONITOR_REMOVED", "WM_VORN_HID_ADDED", "WM_VORN_HID_REMOVED",
};
constexpr std::uint32_t kFirstMessageNumber = 0xC000;

void record(const std::string &line) {
    const char *path = std::getenv("HLX_FAKE_LOG");
    if (path == nullptr)
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string text = line + '\n';
    const ssize_t written = write(fd, text.data(), text.size());
    static_cast<void>(written);
    close(fd);
}

int result(const char *entry) {
    const std::string variable = std::string("HLX_FAKE_RESULT_") + entry;
    const char *value = std::getenv(variable.c_str());
    return value != nullptr ? std::atoi(value) : 0;
}

int answer(const char *entry, const std::string &arguments = std::string()) {
    record(arguments.empty() ? entry : std::string(entry) + ' ' + arguments);
    return result(entry);
}

// HLX_FAKE_WINDOW_MESSAGES lists the seven numbers, comma separated, in the order of
// kMessageNames; without it every name gets a number of its own.
[[maybe_unused]] std::uint32_t messageNumber(const char *name) {
    for (std::uint32_t index = 0; index < 7; ++index) {
        if (std::strcmp(name, kMessageNames[index]) != 0)
            continue;
        const char *list = std::getenv("HLX_FAKE_WINDOW_MESSAGES");
        if (list == nullptr)
            return kFirstMessageNumber + index;
        for (std::uint32_t skip = 0; skip < index && list != nullptr; ++skip) {
            list = std::strchr(list, ',');
            if (list != nullptr)
                ++list;
        }
        return list != nullptr ? static_cast<std::uint32_t>(std::strtoul(list, nullptr, 0)) : 0;
    }
    return 0;
}

} // namespace

#ifndef FAKE_OMIT_HLX_Init
FAKE_EXPORT int HLX_Init() {
    return answer("HLX_Init");
}
#endif

#ifndef FAKE_OMIT_HLX_Deinit
FAKE_EXPORT int HLX_Deinit() {
    return answer("HLX_Deinit");
}
#endif

#ifndef FAKE_OMIT_HLX_SetDisplayCapturerPath
FAKE_EXPORT int HLX_SetDisplayCapturerPath(const char *path) {
    return answer("HLX_SetDisplayCapturerPath", path != nullptr ? path : "(null)");
}
#endif

#ifndef FAKE_OMIT_HLX_StartDisplayCapturer
FAKE_EXPORT int HLX_StartDisplayCapturer() {
    return answer("HLX_StartDisplayCapturer");
}
#endif

#ifndef FAKE_OMIT_HLX_StopDisplayCapturer
FAKE_EXPORT int HLX_StopDisplayCapturer() {
    return answer("HLX_StopDisplayCapturer");
}
#endif

#ifndef FAKE_OMIT_HLX_EnableEyeshield
FAKE_EXPORT int HLX_EnableEyeshield(int level) {
    return answer("HLX_EnableEyeshield", std::to_string(level));
}
#endif

#ifndef FAKE_OMIT_HLX_DisableEyeshield
FAKE_EXPORT int HLX_DisableEyeshield() {
    return answer("HLX_DisableEyeshield");
}
#endif

#ifndef FAKE_OMIT_HLX_GetWindowMessage
FAKE_EXPORT std::uint32_t HLX_GetWindowMessage(const char *name) {
    record(std::string("HLX_GetWindowMessage ") + (name != nullptr ? name : "(null)"));
    return name != nullptr ? messageNumber(name) : 0;
}
#endif
