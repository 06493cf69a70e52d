#include "XcbConnection.h"

#include <xcb/xcbext.h>

#include <QDeadlineTimer>

#include <poll.h>

namespace testsupport {

XcbConnection::XcbConnection(const QString &displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    m_connection = xcb_connect(displayName.isNull() ? nullptr : name.constData(), &m_screenNumber);
    if (xcb_connection_has_error(m_connection))
        return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == m_screenNumber)
            m_screen = it.data;
    }
}

XcbConnection::~XcbConnection() {
    xcb_disconnect(m_connection);
}

bool XcbConnection::isValid() const {
    return m_screen && !xcb_connection_has_error(m_connection);
}

xcb_window_t XcbConnection::root() const {
    return m_screen ? m_screen->root : XCB_NONE;
}

xcb_atom_t XcbConnection::atom(const QByteArray &name) {
    const auto cached = m_atoms.find(name);
    if (cached != m_atoms.end())
        return cached->second;
    const auto interned = reply(
        xcb_intern_atom_reply,
        xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(name.size()), name.constData()));
    if (!interned)
        return XCB_ATOM_NONE;
    m_atoms.emplace(name, interned->atom);
    return interned->atom;
}

bool XcbConnection::ownsResource(uint32_t id) const {
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    return (id & ~setup->resource_id_mask) == setup->resource_id_base;
}

bool XcbConnection::sync() {
    return reply(xcb_get_input_focus_reply, xcb_get_input_focus(m_connection)) != nullptr;
}

void *XcbConnection::waitForReply(unsigned int sequence) {
    xcb_flush(m_connection);
    const QDeadlineTimer deadline(replyTimeoutMs);
    for (;;) {
        void *replyData = nullptr;
        xcb_generic_error_t *error = nullptr;
        if (xcb_poll_for_reply(m_connection, sequence, &replyData, &error)) {
            std::free(error);
            return replyData;
        }
        const qint64 remainingMs = deadline.remainingTime();
        if (xcb_connection_has_error(m_connection) || remainingMs <= 0) {
            xcb_discard_reply(m_connection, sequence);
            return nullptr;
        }
        pollfd socket{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&socket, 1, static_cast<int>(remainingMs));
    }
}

} // namespace testsupport
