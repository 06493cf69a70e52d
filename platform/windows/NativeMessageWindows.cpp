#include "Platform.h"

#include <windows.h>

#include <cstring>

namespace platform {

// Qt's Windows platform hands over window messages under two event types: those it
// dispatches itself and those the event dispatcher sees first.
NativeMessage readNativeMessage(const char *eventType, const void *message) {
    const bool isWindowMessage = std::strcmp(eventType, "windows_generic_MSG") == 0 ||
                                 std::strcmp(eventType, "windows_dispatcher_MSG") == 0;
    if (!isWindowMessage)
        return {false, false, 0};
    if (message == nullptr)
        return {true, false, 0};
    return {true, true, static_cast<const MSG *>(message)->message};
}

} // namespace platform
