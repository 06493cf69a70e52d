#include "TopLevelWindows.h"

#include <cstdlib>
#include <memory>

namespace hlx {

namespace {

using PropertyReply = std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>;

// Each window's property, all asked for before any answer is read: one round trip for them all.
// A window destroyed meanwhile answers with nothing.
std::vector<PropertyReply> propertyOfEach(XConnection &connection,
                                          const std::vector<xcb_window_t> &windows,
                                          xcb_atom_t property, xcb_atom_t type, uint32_t length) {
    xcb_connection_t *c = connection.get();
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows)
        cookies.push_back(xcb_get_property(c, 0, window, property, type, 0, length));
    std::vector<PropertyReply> replies;
    replies.reserve(windows.size());
    for (const xcb_get_property_cookie_t &cookie : cookies)
        replies.emplace_back(xcb_get_property_reply(c, cookie, nullptr), &std::free);
    return replies;
}

} // namespace

std::vector<xcb_window_t> TopLevelWindows::list(XConnection &connection) {
    // Window managers put their frames between the root and a client window, usually one or
    // two levels deep; ICCCM marks the client window with WM_STATE.
    constexpr int frameDepth = 3;
    std::vector<xcb_window_t> targets = children(connection, {connection.root()});
    const xcb_atom_t wmState = connection.internAtom("WM_STATE", true);
    if (wmState == XCB_ATOM_NONE)
        return targets;
    std::vector<xcb_window_t> frames;
    const std::vector<bool> topLevelsWithState = haveWmState(connection, targets, wmState);
    for (size_t i = 0; i < targets.size(); ++i) {
        if (!topLevelsWithState[i])
            frames.push_back(targets[i]);
    }
    for (int depth = 0; depth < frameDepth && !frames.empty(); ++depth) {
        const std::vector<xcb_window_t> inside = children(connection, frames);
        const std::vector<bool> withState = haveWmState(connection, inside, wmState);
        frames.clear();
        for (size_t i = 0; i < inside.size(); ++i)
            (withState[i] ? targets : frames).push_back(inside[i]);
    }
    return targets;
}

std::vector<xcb_window_t> TopLevelWindows::carrying(XConnection &connection,
                                                    const std::vector<xcb_window_t> &windows,
                                                    const char *name,
                                                    std::optional<std::uint32_t> value) {
    const xcb_atom_t atom = connection.internAtom(name, true);
    if (atom == XCB_ATOM_NONE)
        return {};
    const std::vector<PropertyReply> properties =
        propertyOfEach(connection, windows, atom, XCB_ATOM_CARDINAL, 1);
    std::vector<xcb_window_t> found;
    for (size_t i = 0; i < windows.size(); ++i) {
        const xcb_get_property_reply_t *property = properties[i].get();
        if (property && property->format == 32 && xcb_get_property_value_length(property) == 4 &&
            (!value ||
             *static_cast<const std::uint32_t *>(xcb_get_property_value(property)) == *value))
            found.push_back(windows[i]);
    }
    return found;
}

std::vector<xcb_window_t> TopLevelWindows::children(XConnection &connection,
                                                    const std::vector<xcb_window_t> &parents) {
    xcb_connection_t *c = connection.get();
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

std::vector<bool> TopLevelWindows::haveWmState(XConnection &connection,
                                               const std::vector<xcb_window_t> &windows,
                                               xcb_atom_t wmState) {
    std::vector<bool> result;
    result.reserve(windows.size());
    for (const PropertyReply &property :
         propertyOfEach(connection, windows, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0))
        result.push_back(property && property->type != XCB_ATOM_NONE);
    return result;
}

} // namespace hlx
