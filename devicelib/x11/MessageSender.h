#pragma once

#include "XConnection.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace hlx {

// Delivers device messages the way the headset's side does: to every top-level window, so that a
// program hears them whether or not its window is shown and whether or not a window manager has
// framed it.
class MessageSender {
public:
    explicit MessageSender(XConnection &connection);
    // Only to the windows that this process says it owns (_NET_WM_PID): what a device
    // library tells the program it runs in.
    MessageSender(XConnection &connection, std::uint32_t owningProcess);

    // The windows are those that exist at the first call.
    void send(xcb_atom_t type);

private:
    const std::vector<xcb_window_t> &targets();

    XConnection &m_connection;
    std::optional<std::uint32_t> m_owningProcess;
    std::optional<std::vector<xcb_window_t>> m_targets;
};

} // namespace hlx
