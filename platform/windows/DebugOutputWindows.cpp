#include "Platform.h"
#include "WideText.h"

#include <windows.h>

namespace platform {

// A debugger shows each call as one line of its own, so no line end is added.
void writeDebugOutput(const std::string &text) {
    const std::wstring wideText = widen(text);
    OutputDebugStringW(wideText.c_str());
}

} // namespace platform
