#pragma once

#include <xcb/xcb.h>

#include <string_view>

namespace hlx {

// An xcb connection to the default screen of one display, closed with the object.
class XConnection {
public:
    // A null name means $DISPLAY.
    explicit XConnection(const char *displayName);
    ~XConnection();
    XConnection(const XConnection &) = delete;
    XConnection &operator=(const XConnection &) = delete;

    bool isValid() const;
    xcb_connection_t *get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    // XCB_ATOM_NONE on failure, or when onlyIfExists is set and the server never saw the name.
    xcb_atom_t internAtom(std::string_view name, bool onlyIfExists = false);
    // One round trip: afterwards the server has handled every request sent before.
    bool sync();

private:
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
};

// The atom of this name on $DISPLAY, which is the number a device message of this name carries to
// the windows. XCB_ATOM_NONE without a name or a display.
xcb_atom_t atomOnDefaultDisplay(const char *name);

} // namespace hlx
