#pragma once

#include <stdint.h>
#include <windows.h>

#define HLX_EXPORT __declspec(dllexport)

#ifdef __cplusplus
extern "C" {
#endif

// All return 0 on success; -2 means no headset is on USB or no capturer is there to start, -1 that
// the capturer exists but could not be started; -3 that a headset is there but its eye shield
// cannot be switched.
HLX_EXPORT int WINAPI HLX_Init(void);
HLX_EXPORT int WINAPI HLX_Deinit(void);
HLX_EXPORT int WINAPI HLX_SetDisplayCapturerPath(const char *utf8Path);
HLX_EXPORT int WINAPI HLX_StartDisplayCapturer(void);
HLX_EXPORT int WINAPI HLX_StopDisplayCapturer(void);
HLX_EXPORT int WINAPI HLX_EnableEyeshield(int level);
HLX_EXPORT int WINAPI HLX_DisableEyeshield(void);
// The window message registered for the name: the same number in every process of the session.
HLX_EXPORT uint32_t WINAPI HLX_GetWindowMessage(const char *name);

#ifdef __cplusplus
}
#endif
