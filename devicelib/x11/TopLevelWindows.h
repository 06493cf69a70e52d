#pragma once

#include "XConnection.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace hlx {

// The top-level windows of a display as programs see them: every child of the root window, and
// where a window manager has framed them, the client windows inside the frames.
class TopLevelWindows {
public:
    static std::vector<xcb_window_t> list(XConnection &connection);
    // Those of `windows` that carry the 32-bit CARDINAL property `name`, with `value` if given.
    static std::vector<xcb_window_t> carrying(XConnection &connection,
                                              const std::vector<xcb_window_t> &windows,
                                              const char *name,
                                              std::optional<std::uint32_t> value = std::nullopt);

private:
    static std::vector<xcb_window_t> children(XConnection &connection,
                                              const std::vector<xcb_window_t> &parents);
    static std::vector<bool> haveWmState(XConnection &connection,
                                         const std::vector<xcb_window_t> &windows,
                                         xcb_atom_t wmState);
};

} // namespace hlx
