// A device library for tests, built once per missing export: HLX_OMIT_<export> leaves that
// one out. Every entry answers 0.

#include <windows.h>

#include <cstdint>

#define DOUBLE_EXPORT extern "C" __declspec(dllexport)

#ifndef HLX_OMIT_HLX_Init
DOUBLE_EXPORT int WINAPI HLX_Init() {
    return 0;
}
#endif

#ifndef HLX_OMIT_HLX_Deinit
DOUBLE_EXPORT int WINAPI HLX_Deinit() {
    return 0;
}
#endif

#ifndef HLX_OMIT_HLX_SetDisplayCapturerPath
DOUBLE_EXPORT int WINAPI HLX_SetDisplayCapturerPath(const char *) {
    return 0;
}
#endif

#ifndef HLX_OMIT_HLX_StartDisplayCapturer
DOUBLE_EXPORT int WINAPI HLX_StartDisplayCapturer() {
    return 0;
}
#endif

#ifndef HLX_OMIT_HLX_StopDisplayCapturer
DOUBLE_EXPORT int WINAPI HLX_StopDisplayCapturer() {
    return 0;
}
#endif

#ifndef HLX_OMIT_HLX_EnableEyeshield
DOUBLE_EXPORT int WINAPI HLX_EnableEyeshield(int) {
    return 0;
}
#endif

#ifndef HLX_OMIT_HLX_DisableEyeshield
DOUBLE_EXPORT int WINAPI HLX_DisableEyeshield() {
    return 0;
}
#endif

#ifndef HLX_OMIT_HLX_GetWindowMessage
DOUBLE_EXPORT std::uint32_t WINAPI HLX_GetWindowMessage(const char *) {
    return 0;
}
#endif
