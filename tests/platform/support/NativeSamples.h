#pragma once

#include "Platform.h"

#include <string>
#include <vector>

namespace support {

struct NativeSample {
    std::string description;
    const char *eventType;
    const void *message;
    platform::NativeMessage expected;
};

// Native events as this system's toolkit hands them to a native event filter, and events of
// types it never uses, each with what the device link must read from it.
std::vector<NativeSample> nativeSamples();

} // namespace support
