#include "XConnection.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace hlx {

XConnection::XConnection(const char *displayName) {
    int screenNumber = 0;
    m_connection = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(m_connection))
        return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == screenNumber)
            m_root = it.data->root;
    }
}

XConnection::~XConnection() {
    xcb_disconnect(m_connection);
}

bool XConnection::isValid() const {
    return m_root != XCB_NONE && !xcb_connection_has_error(m_connection);
}

xcb_atom_t XConnection::internAtom(std::string_view name, bool onlyIfExists) {
    if (!isValid() || name.size() > std::numeric_limits<uint16_t>::max())
        return XCB_ATOM_NONE;
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(m_connection,
                              xcb_intern_atom(m_connection, onlyIfExists ? 1 : 0,
                                              static_cast<uint16_t>(name.size()), name.data()),
                              nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

bool XConnection::sync() {
    if (!isValid())
        return false;
    xcb_get_input_focus_reply_t *reply =
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
    const bool answered = reply != nullptr;
    std::free(reply);
    return answered;
}

xcb_atom_t atomOnDefaultDisplay(const char *name) {
    if (!name)
        return XCB_ATOM_NONE;
    XConnection connection(nullptr);
    return connection.internAtom(name);
}

} // namespace hlx
