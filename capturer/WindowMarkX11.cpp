#include "WindowMark.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

void markCapturerWindow(QWindow *window) {
    // A connection of our own: properties live with the window, not with the connection that
    // set them.
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(connection)) {
        static const char name[] = "_HLX_DISPLAY_CAPTURER";
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (atom) {
            const uint32_t pid = uint32_t(QCoreApplication::applicationPid());
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()),
                                atom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
            free(atom);
        }
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    xcb_disconnect(connection);
}
