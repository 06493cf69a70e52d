#include "Platform.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace platform {
namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> wrap(T *reply) {
    return Reply<T>(reply, &std::free);
}

// Window managers put each client window into a frame of their own, and some nest the frame
// once more; three levels below the root reach every client window we know of.
constexpr int kSearchDepth = 3;

constexpr uint32_t kIconicState = 3;

class X11Session {
    int screenNumber = 0;

public:
    X11Session()
        : connection(xcb_connect(nullptr, &screenNumber)) {}
    ~X11Session() { xcb_disconnect(connection); }
    X11Session(const X11Session &) = delete;
    X11Session &operator=(const X11Session &) = delete;

    bool usable() const { return xcb_connection_has_error(connection) == 0; }

    xcb_window_t root() const {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && it.rem > 0; ++i)
            xcb_screen_next(&it);
        return it.data->root;
    }

    xcb_atom_t atom(const char *name) const {
        const auto length = static_cast<uint16_t>(std::strlen(name));
        auto reply = wrap(xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, length, name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    std::string property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) const {
        auto reply = wrap(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, name, type, 0, 1024), nullptr));
        if (!reply || reply->format != 8)
            return {};
        const auto *data = static_cast<const char *>(xcb_get_property_value(reply.get()));
        return std::string(data,
                           static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }

    std::vector<xcb_window_t> children(xcb_window_t window) const {
        auto reply =
            wrap(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
        if (!reply)
            return {};
        const xcb_window_t *first = xcb_query_tree_children(reply.get());
        return std::vector<xcb_window_t>(first,
                                         first + xcb_query_tree_children_length(reply.get()));
    }

    bool isViewable(xcb_window_t window) const {
        auto reply = wrap(xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, window), nullptr));
        return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    // ICCCM: a window manager keeps WM_STATE on each client window it manages, with the
    // state first; a minimised window is Iconic, one closed to the tray Withdrawn or bare.
    bool isIconic(xcb_window_t window) const {
        const xcb_atom_t wmState = atom("WM_STATE");
        auto reply = wrap(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, wmState, wmState, 0, 1), nullptr));
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
            return false;
        return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get())) == kIconicState;
    }

    bool supports(xcb_atom_t feature) const {
        auto reply = wrap(xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, root(), atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096),
            nullptr));
        if (!reply || reply->format != 32)
            return false;
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        for (int i = 0; i < count; ++i) {
            if (atoms[i] == feature)
                return true;
        }
        return false;
    }

    // A round trip: the server has carried out every request sent before it returns, which
    // a process that disconnects right away cannot otherwise be sure of.
    void sync() const {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }

    xcb_connection_t *const connection;
};

class WindowMatcher {
public:
    WindowMatcher(const X11Session &session, const std::string &wantedClass,
                  const std::string &wantedTitle)
        : x(session)
        , windowClass(wantedClass)
        , title(wantedTitle)
        , netWmName(session.atom("_NET_WM_NAME"))
        , utf8String(session.atom("UTF8_STRING")) {}

    xcb_window_t find(xcb_window_t parent, int depth) const {
        const std::vector<xcb_window_t> windows = x.children(parent);
        for (xcb_window_t window : windows) {
            if (matches(window))
                return window;
        }
        if (depth <= 1)
            return XCB_WINDOW_NONE;
        for (xcb_window_t window : windows) {
            if (const xcb_window_t found = find(window, depth - 1))
                return found;
        }
        return XCB_WINDOW_NONE;
    }

private:
    bool matches(xcb_window_t window) const {
        // WM_CLASS holds the instance name and then the class name, each NUL-terminated.
        const std::string wmClass = x.property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        const std::string::size_type separator = wmClass.find('\0');
        if (separator == std::string::npos ||
            wmClass.compare(separator + 1, std::string::npos, windowClass + '\0') != 0)
            return false;
        std::string name = x.property(window, netWmName, utf8String);
        if (name.empty())
            name = x.property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
        return name == title;
    }

    const X11Session &x;
    const std::string &windowClass;
    const std::string &title;
    const xcb_atom_t netWmName;
    const xcb_atom_t utf8String;
};

void requestActivation(const X11Session &x, xcb_window_t window, xcb_atom_t netActiveWindow) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = netActiveWindow;
    event.data.data32[0] =
        2; // source: a pager, which window managers obey without focus-stealing checks
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x.connection, 0, x.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
}

void raiseAndFocus(const X11Session &x, xcb_window_t window, bool viewable) {
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(x.connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    // Focusing an unmapped window is an error on X11, and mapping it would undo the user's
    // choice to keep the window in the tray.
    if (viewable)
        xcb_set_input_focus(x.connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
}

// ICCCM: mapping an iconic window asks its window manager to restore it.
void restore(const X11Session &x, xcb_window_t window) {
    xcb_map_window(x.connection, window);
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(x.connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
}

} // namespace

bool bringWindowToFront(const std::string &applicationName, const std::string &title) {
    const X11Session x;
    if (!x.usable())
        return false;

    const xcb_window_t window =
        WindowMatcher(x, applicationName, title).find(x.root(), kSearchDepth);
    if (window == XCB_WINDOW_NONE)
        return false;

    // A minimised window is brought back, since without a tray nothing else would; a
    // window in the tray stays there.
    const bool viewable = x.isViewable(window);
    const bool minimised = !viewable && x.isIconic(window);
    const xcb_atom_t netActiveWindow = x.atom("_NET_ACTIVE_WINDOW");
    if ((viewable || minimised) && x.supports(netActiveWindow))
        requestActivation(x, window, netActiveWindow);
    else if (minimised)
        restore(x, window);
    else
        raiseAndFocus(x, window, viewable);
    x.sync();
    return true;
}

} // namespace platform
