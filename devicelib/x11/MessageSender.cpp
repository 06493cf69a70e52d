#include "MessageSender.h"

#include <cstdlib>

namespace hlx {

MessageSender::MessageSender(XConnection &connection)
    : m_connection(connection) {}

MessageSender::MessageSender(XConnection &connection, std::uint32_t owningProcess)
    : m_connection(connection)
    , m_owningProcess(owningProcess) {}

void MessageSender::send(xcb_atom_t type) {
    for (xcb_window_t window : targets()) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        // No mask: the event goes to the client that created the window, whatever it selected.
        xcb_send_event(m_connection.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&event));
    }
}

const std::vector<xcb_window_t> &MessageSender::targets() {
    if (!m_targets) {
        m_targets = findTargets();
        if (m_owningProcess)
            m_targets = ownedBy(*m_targets, *m_owningProcess);
    }
    return *m_targets;
}

std::vector<xcb_window_t> MessageSender::findTargets() {
    // Window managers put their frames between the root and a client window, usually one or
    // two levels deep; ICCCM marks the client window with WM_STATE.
    constexpr int frameDepth = 3;
    std::vector<xcb_window_t> targets = children({m_connection.root()});
    const xcb_atom_t wmState = m_connection.internAtom("WM_STATE", true);
    if (wmState == XCB_ATOM_NONE)
        return targets;
    std::vector<xcb_window_t> frames;
    const std::vector<bool> topLevelsWithState = haveWmState(targets, wmState);
    for (size_t i = 0; i < targets.size(); ++i) {
        if (!topLevelsWithState[i])
            frames.push_back(targets[i]);
    }
    for (int depth = 0; depth < frameDepth && !frames.empty(); ++depth) {
        const std::vector<xcb_window_t> inside = children(frames);
        const std::vector<bool> withState = haveWmState(inside, wmState);
        frames.clear();
        for (size_t i = 0; i < inside.size(); ++i)
            (withState[i] ? targets : frames).push_back(inside[i]);
    }
    return targets;
}

std::vector<xcb_window_t> MessageSender::children(const std::vector<xcb_window_t> &parents) {
    xcb_connection_t *c = m_connection.get();
    // All requests first, then all replies: one round trip for the whole level.
    std::vector<xcb_query_tree_cookie_t> cookies;
    cookies.reserve(parents.size());
    for (xcb_window_t parent : parents)
        cookies.push_back(xcb_query_tree(c, parent));
    std::vector<xcb_window_t> result;
    for (const xcb_query_tree_cookie_t &cookie : cookies) {
        // A window destroyed meanwhile simply has no children.
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, cookie, nullptr);
        if (!tree)
            continue;
        const xcb_window_t *first = xcb_query_tree_children(tree);
        result.insert(result.end(), first, first + xcb_query_tree_children_length(tree));
        std::free(tree);
    }
    return result;
}

std::vector<bool> MessageSender::haveWmState(const std::vector<xcb_window_t> &windows,
                                             xcb_atom_t wmState) {
    xcb_connection_t *c = m_connection.get();
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows)
        cookies.push_back(xcb_get_property(c, 0, window, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
    std::vector<bool> result;
    result.reserve(windows.size());
    for (const xcb_get_property_cookie_t &cookie : cookies) {
        xcb_get_property_reply_t *property = xcb_get_property_reply(c, cookie, nullptr);
        result.push_back(property && property->type != XCB_ATOM_NONE);
        std::free(property);
    }
    return result;
}

std::vector<xcb_window_t> MessageSender::ownedBy(const std::vector<xcb_window_t> &windows,
                                                 std::uint32_t process) {
    const xcb_atom_t netWmPid = m_connection.internAtom("_NET_WM_PID", true);
    if (netWmPid == XCB_ATOM_NONE)
        return {};
    xcb_connection_t *c = m_connection.get();
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows)
        cookies.push_back(xcb_get_property(c, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1));
    std::vector<xcb_window_t> owned;
    for (size_t i = 0; i < windows.size(); ++i) {
        xcb_get_property_reply_t *property = xcb_get_property_reply(c, cookies[i], nullptr);
        if (property && property->format == 32 && xcb_get_property_value_length(property) == 4 &&
            *static_cast<const std::uint32_t *>(xcb_get_property_value(property)) == process)
            owned.push_back(windows[i]);
        std::free(property);
    }
    return owned;
}

} // namespace hlx
