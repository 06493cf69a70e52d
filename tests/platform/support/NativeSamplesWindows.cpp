#include "NativeSamples.h"

#include <windows.h>

namespace support {

std::vector<NativeSample> nativeSamples() {
    static MSG registered{nullptr, 0xC0DE, 7, 9, 0, {0, 0}};
    static MSG paint{nullptr, WM_PAINT, 0, 0, 0, {0, 0}};
    return {
        {"registered message", "windows_generic_MSG", &registered, {true, true, 0xC0DE}},
        {"from the dispatcher", "windows_dispatcher_MSG", &registered, {true, true, 0xC0DE}},
        {"system message", "windows_generic_MSG", &paint, {true, true, WM_PAINT}},
        {"X11 type", "xcb_generic_event_t", &registered, {false, false, 0}},
    };
}

} // namespace support
