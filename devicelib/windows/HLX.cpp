#include "HLX.h"

#include "DeviceSide.h"
#include "EntryResults.h"

using hlx::windows::DeviceSide;

extern "C" {

int WINAPI HLX_Init(void) {
    return DeviceSide::instance().init();
}

int WINAPI HLX_Deinit(void) {
    return DeviceSide::instance().deinit();
}

int WINAPI HLX_SetDisplayCapturerPath(const char *utf8Path) {
    return DeviceSide::instance().setCapturerPath(utf8Path);
}

int WINAPI HLX_StartDisplayCapturer(void) {
    return DeviceSide::instance().startCapturer();
}

int WINAPI HLX_StopDisplayCapturer(void) {
    return hlx::entryResult::ok;
}

int WINAPI HLX_EnableEyeshield([[maybe_unused]] int level) {
    return DeviceSide::instance().switchEyeshield();
}

int WINAPI HLX_DisableEyeshield(void) {
    return DeviceSide::instance().switchEyeshield();
}

uint32_t WINAPI HLX_GetWindowMessage(const char *name) {
    return name != nullptr ? RegisterWindowMessageA(name) : 0;
}

} // extern "C"
