#include "HLX.h"

#include "DeviceSide.h"
#include "UdevDeviceSystem.h"
#include "XConnection.h"

namespace {

hlx::DeviceSide &deviceSide() {
    static hlx::DeviceSide side(std::make_unique<hlx::udev::UdevDeviceSystem>());
    return side;
}

} // namespace

extern "C" {

int HLX_Init(void) {
    return deviceSide().init();
}

int HLX_Deinit(void) {
    return deviceSide().deinit();
}

int HLX_SetDisplayCapturerPath(const char *utf8Path) {
    return deviceSide().setCapturerPath(utf8Path);
}

int HLX_StartDisplayCapturer(void) {
    return deviceSide().startCapturer();
}

int HLX_StopDisplayCapturer(void) {
    return deviceSide().stopCapturer();
}

int HLX_EnableEyeshield(int level) {
    return deviceSide().enableEyeshield(level);
}

int HLX_DisableEyeshield(void) {
    return deviceSide().disableEyeshield();
}

uint32_t HLX_GetWindowMessage(const char *name) {
    return hlx::atomOnDefaultDisplay(name);
}

} // extern "C"
