#include "Platform.h"

#include <xcb/xcb.h>

#include <cstring>

namespace platform {

namespace {

// Set in the response type of every event that a client sent rather than the server made.
constexpr std::uint8_t kSentEventBit = 0x80;

} // namespace

NativeMessage readNativeMessage(const char *eventType, const void *message) {
    if (std::strcmp(eventType, "xcb_generic_event_t") != 0 || message == nullptr)
        return {false, false, 0};

    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & ~kSentEventBit) != XCB_CLIENT_MESSAGE)
        return {true, false, 0};
    const auto *clientMessage = static_cast<const xcb_client_message_event_t *>(message);
    return {true, true, clientMessage->type};
}

} // namespace platform
