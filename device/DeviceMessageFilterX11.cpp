#include "DeviceMessageFilter.h"

#include "DeviceMessage.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class ClientMessageFilter : public QAbstractNativeEventFilter {
public:
    // Atoms are the X server's, the same on every connection, so a short connection of our own
    // learns them without reaching into Qt's.
    ClientMessageFilter() {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        std::vector<xcb_intern_atom_cookie_t> cookies;
        for (const char *name : kDeviceMessageNames)
            cookies.push_back(xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name));
        for (const xcb_intern_atom_cookie_t cookie : cookies) {
            if (xcb_intern_atom_reply_t *reply =
                    xcb_intern_atom_reply(connection, cookie, nullptr)) {
                m_atoms.push_back(reply->atom);
                std::free(reply);
            }
        }
        xcb_disconnect(connection);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const xcb_atom_t type = reinterpret_cast<const xcb_client_message_event_t *>(event)->type;
        return std::find(m_atoms.begin(), m_atoms.end(), type) != m_atoms.end();
    }

private:
    std::vector<xcb_atom_t> m_atoms;
};

} // namespace

void DeviceMessageFilter::install() {
    static ClientMessageFilter filter;
    QCoreApplication::instance()->installNativeEventFilter(&filter);
}
