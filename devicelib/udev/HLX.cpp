#include "HLX.h"

#include "DeviceSide.h"
#include "EntryResults.h"
#include "XConnection.h"

using hlx::udev::DeviceSide;

extern "C" {

int HLX_Init(void) {
    return DeviceSide::instance().init();
}

int HLX_Deinit(void) {
    return DeviceSide::instance().deinit();
}

int HLX_SetDisplayCapturerPath(const char *utf8Path) {
    return DeviceSide::instance().setCapturerPath(utf8Path);
}

int HLX_StartDisplayCapturer(void) {
    return DeviceSide::instance().startCapturer();
}

int HLX_StopDisplayCapturer(void) {
    return hlx::entryResult::ok;
}

int HLX_EnableEyeshield([[maybe_unused]] int level) {
    return DeviceSide::instance().switchEyeshield();
}

int HLX_DisableEyeshield(void) {
    return DeviceSide::instance().switchEyeshield();
}

uint32_t HLX_GetWindowMessage(const char *name) {
    return hlx::atomOnDefaultDisplay(name);
}

} // extern "C"
