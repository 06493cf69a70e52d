#pragma once

#include <QByteArray>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>

namespace testsupport {

template <typename Reply> using XcbReply = std::unique_ptr<Reply, void (*)(void *)>;

// An xcb connection whose round trips give up after a bounded time, so that a wedged or vanished
// X server fails a test instead of hanging it.
class XcbConnection {
public:
    static constexpr int replyTimeoutMs = 5000;

    // A null name means $DISPLAY.
    explicit XcbConnection(const QString &displayName = QString());
    ~XcbConnection();
    XcbConnection(const XcbConnection &) = delete;
    XcbConnection &operator=(const XcbConnection &) = delete;

    bool isValid() const;
    xcb_connection_t *get() const { return m_connection; }
    xcb_screen_t *screen() const { return m_screen; }
    int screenNumber() const { return m_screenNumber; }
    xcb_window_t root() const;

    // Cached, so repeated look-ups cost no round trip.
    xcb_atom_t atom(const QByteArray &name);

    // True for windows created on this connection, which watchers should not mistake for
    // windows of the program under test.
    bool ownsResource(uint32_t id) const;

    bool sync();

    // The xcb_*_reply function is never called; it only ties the reply type to the cookie type.
    template <typename Reply, typename Cookie>
    XcbReply<Reply> reply(Reply *(*)(xcb_connection_t *, Cookie, xcb_generic_error_t **),
                          Cookie cookie) {
        return XcbReply<Reply>(static_cast<Reply *>(waitForReply(cookie.sequence)), std::free);
    }

private:
    void *waitForReply(unsigned int sequence);

    xcb_connection_t *m_connection = nullptr;
    xcb_screen_t *m_screen = nullptr;
    int m_screenNumber = 0;
    std::map<QByteArray, xcb_atom_t> m_atoms;
};

} // namespace testsupport
