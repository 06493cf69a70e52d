#include "HLX.h"

#include "DisplayCapturer.h"
#include "EntryResults.h"

namespace {

hlx::DisplayCapturer capturer;

} // namespace

extern "C" {

int WINAPI HLX_Init(void) {
    return hlx::entryResult::ok;
}

int WINAPI HLX_Deinit(void) {
    return hlx::entryResult::ok;
}

int WINAPI HLX_SetDisplayCapturerPath(const char *utf8Path) {
    capturer.setPath(utf8Path);
    return hlx::entryResult::ok;
}

int WINAPI HLX_StartDisplayCapturer(void) {
    return capturer.start();
}

int WINAPI HLX_StopDisplayCapturer(void) {
    return hlx::entryResult::ok;
}

// No simulated headset on Windows: the eye shield always switches.
int WINAPI HLX_EnableEyeshield(int) {
    return hlx::entryResult::ok;
}

int WINAPI HLX_DisableEyeshield(void) {
    return hlx::entryResult::ok;
}

uint32_t WINAPI HLX_GetWindowMessage(const char *name) {
    return name != nullptr ? RegisterWindowMessageA(name) : 0;
}

} // extern "C"
