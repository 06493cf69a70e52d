#pragma once

#include <stdint.h>

#define HLX_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

// All return 0 on success; -2 means no headset is plugged or no capturer is there to start, -1
// that the capturer exists but could not be started.
HLX_EXPORT int HLX_Init(void);
HLX_EXPORT int HLX_Deinit(void);
HLX_EXPORT int HLX_SetDisplayCapturerPath(const char *utf8Path);
HLX_EXPORT int HLX_StartDisplayCapturer(void);
HLX_EXPORT int HLX_StopDisplayCapturer(void);
HLX_EXPORT int HLX_EnableEyeshield(int level);
HLX_EXPORT int HLX_DisableEyeshield(void);
// The X atom for the message name on $DISPLAY; 0 if the display cannot be reached.
HLX_EXPORT uint32_t HLX_GetWindowMessage(const char *name);

#ifdef __cplusplus
}
#endif
