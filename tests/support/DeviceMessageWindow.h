#pragma once

#include "XcbConnection.h"

#include <QByteArrayList>
#include <QMap>

// A top-level window of its own, never mapped, that reads the device messages the X server
// delivers to it: what any program's window receives from the device side.
class DeviceMessageWindow {
public:
    // A null name means $DISPLAY.
    explicit DeviceMessageWindow(const QString &displayName = QString());
    ~DeviceMessageWindow();
    DeviceMessageWindow(const DeviceMessageWindow &) = delete;
    DeviceMessageWindow &operator=(const DeviceMessageWindow &) = delete;

    bool isValid() const { return m_window != XCB_WINDOW_NONE; }

    // Message names in the order they arrived since the last take; other atoms by number.
    QByteArrayList take();
    // Waits until the messages received since the last take end with these, then takes them all.
    bool waitForEnd(const QByteArrayList &last, int timeoutMs, QByteArrayList &received);

private:
    void read();

    testsupport::XcbConnection m_connection;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    QMap<xcb_atom_t, QByteArray> m_names;
    QByteArrayList m_received;
};
