#include "CapturerWindow.h"

#include "TopLevelWindows.h"
#include "XConnection.h"

#include <vector>

namespace hlx {

namespace {

void sendToWindow(XConnection &x, xcb_window_t window, xcb_window_t destination, xcb_atom_t type,
                  std::uint32_t data0, uint32_t eventMask) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = data0;
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x.get(), 0, destination, eventMask, reinterpret_cast<const char *>(&event));
}

std::vector<xcb_window_t> capturers(XConnection &x) {
    return TopLevelWindows::carrying(x, TopLevelWindows::list(x), CapturerWindow::markProperty);
}

} // namespace

bool CapturerWindow::raise() {
    XConnection x(nullptr);
    if (!x.isValid())
        return false;
    const std::vector<xcb_window_t> found = capturers(x);
    if (found.empty())
        return false;
    for (xcb_window_t window : found) {
        // A minimised window is mapped again; a window manager then brings it forward through
        // _NET_ACTIVE_WINDOW (source 2: on the user's behalf), and without one it is raised.
        xcb_map_window(x.get(), window);
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(x.get(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        sendToWindow(x, window, x.root(), x.internAtom("_NET_ACTIVE_WINDOW"), 2,
                     XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    }
    x.sync();
    return true;
}

bool CapturerWindow::close() {
    XConnection x(nullptr);
    if (!x.isValid())
        return false;
    const std::vector<xcb_window_t> found = capturers(x);
    const xcb_atom_t protocols = x.internAtom("WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = x.internAtom("WM_DELETE_WINDOW");
    for (xcb_window_t window : found)
        sendToWindow(x, window, window, protocols, deleteWindow, XCB_EVENT_MASK_NO_EVENT);
    x.sync();
    return !found.empty();
}

} // namespace hlx
