#include "HLX.h"

#include "DeviceSide.h"
#include "WindowsDeviceSystem.h"

namespace {

hlx::DeviceSide &deviceSide() {
    // Never destroyed: its destructor would run inside DllMain, where no thread may be joined.
    static hlx::DeviceSide *const side =
        new hlx::DeviceSide(std::make_unique<hlx::windows::WindowsDeviceSystem>());
    return *side;
}

} // namespace

extern "C" {

int WINAPI HLX_Init(void) {
    return deviceSide().init();
}

int WINAPI HLX_Deinit(void) {
    return deviceSide().deinit();
}

int WINAPI HLX_SetDisplayCapturerPath(const char *utf8Path) {
    return deviceSide().setCapturerPath(utf8Path);
}

int WINAPI HLX_StartDisplayCapturer(void) {
    return deviceSide().startCapturer();
}

int WINAPI HLX_StopDisplayCapturer(void) {
    return deviceSide().stopCapturer();
}

int WINAPI HLX_EnableEyeshield(int level) {
    return deviceSide().enableEyeshield(level);
}

int WINAPI HLX_DisableEyeshield(void) {
    return deviceSide().disableEyeshield();
}

uint32_t WINAPI HLX_GetWindowMessage(const char *name) {
    return name != nullptr ? RegisterWindowMessageA(name) : 0;
}

} // extern "C"
