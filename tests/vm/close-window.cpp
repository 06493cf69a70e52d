// Usage: close-window WINDOW
//
// Asks the X client that owns WINDOW (a decimal id, on $DISPLAY) to close it, as a window
// manager's close button does: WM_DELETE_WINDOW through WM_PROTOCOLS. Built here and carried
// into the guest, which has no window manager.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t *connection, const char *name) {
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: close-window WINDOW\n");
        return 2;
    }
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "close-window: no X display\n");
        return 1;
    }
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(std::strtoul(argv[1], nullptr, 10));
    message.type = atom(connection, "WM_PROTOCOLS");
    message.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t sent =
        xcb_send_event_checked(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                               reinterpret_cast<const char *>(&message));
    xcb_generic_error_t *error = xcb_request_check(connection, sent);
    const int status = error == nullptr ? 0 : 1;
    if (error != nullptr)
        std::fprintf(stderr, "close-window: no window %s\n", argv[1]);
    std::free(error);
    xcb_disconnect(connection);
    return status;
}
