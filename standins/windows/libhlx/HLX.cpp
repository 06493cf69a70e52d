#include "HLX.h"

#include <string>

namespace {

constexpr int ok = 0;
constexpr int failed = -1;
constexpr int unavailable = -2;

// Entry points are called from the utility's one GUI thread only.
std::wstring capturerPath;

std::wstring widen(const char *utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

} // namespace

extern "C" {

int WINAPI HLX_Init(void) {
    return ok;
}

int WINAPI HLX_Deinit(void) {
    return ok;
}

int WINAPI HLX_SetDisplayCapturerPath(const char *utf8Path) {
    capturerPath = utf8Path != nullptr ? widen(utf8Path) : std::wstring();
    return ok;
}

// The capturer runs on its own: no handle of it is kept, and it is not waited for.
int WINAPI HLX_StartDisplayCapturer(void) {
    if (capturerPath.empty() || GetFileAttributesW(capturerPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return unavailable;
    std::wstring commandLine = L"\"" + capturerPath + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(capturerPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS, nullptr, nullptr, &startup, &process))
        return failed;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ok;
}

int WINAPI HLX_StopDisplayCapturer(void) {
    return ok;
}

// No simulated headset on Windows: the eye shield always switches.
int WINAPI HLX_EnableEyeshield(int) {
    return ok;
}

int WINAPI HLX_DisableEyeshield(void) {
    return ok;
}

uint32_t WINAPI HLX_GetWindowMessage(const char *name) {
    return name != nullptr ? RegisterWindowMessageA(name) : 0;
}

} // extern "C"
