#include "MessageSender.h"

#include "TopLevelWindows.h"

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
        m_targets = TopLevelWindows::list(m_connection);
        if (m_owningProcess)
            m_targets =
                TopLevelWindows::carrying(m_connection, *m_targets, "_NET_WM_PID", m_owningProcess);
    }
    return *m_targets;
}

} // namespace hlx
