#include "NativeSamples.h"

#include <xcb/xcb.h>

namespace support {

std::vector<NativeSample> nativeSamples() {
    static xcb_client_message_event_t sentClientMessage = [] {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE | 0x80;
        event.format = 32;
        event.type = 0x1a2;
        return event;
    }();
    static xcb_client_message_event_t serverClientMessage = [] {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.type = 0x1b3;
        return event;
    }();
    static xcb_generic_event_t keyPress = [] {
        xcb_generic_event_t event{};
        event.response_type = XCB_KEY_PRESS;
        return event;
    }();
    return {
        {"sent client message", "xcb_generic_event_t", &sentClientMessage, {true, true, 0x1a2}},
        {"client message from the server",
         "xcb_generic_event_t",
         &serverClientMessage,
         {true, true, 0x1b3}},
        {"other X event", "xcb_generic_event_t", &keyPress, {true, false, 0}},
        {"Windows type", "windows_generic_MSG", &sentClientMessage, {false, false, 0}},
        {"Windows dispatcher type",
         "windows_dispatcher_MSG",
         &sentClientMessage,
         {false, false, 0}},
    };
}

} // namespace support
