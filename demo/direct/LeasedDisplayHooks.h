#pragma once

#include "DirectModeHooks.h"

// The eye shield on the leased CRTC and the frames for the capturer, for a demo in direct mode;
// empty where the demo never holds a display leased.
DirectModeHooks leasedDisplayHooks();
