#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <string>

// Tells when a leased output's headset leaves, or the X server takes the lease back, from the
// server's RandR notifications on a connection of the watch's own.
class LeasedOutputWatch : public QObject {
    Q_OBJECT
public:
    LeasedOutputWatch(xcb_connection_t *connection, xcb_window_t root, std::string output,
                      xcb_randr_lease_t lease, QObject *parent = nullptr);

signals:
    void ended(const QString &why);

private:
    void readEvents();
    // Whether the output still holds a headset's display kept off the desktop.
    void checkOutput();
    void end(const QString &why);

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    std::string m_output;
    xcb_randr_lease_t m_lease;
    uint8_t m_firstEvent = 0;
    QSocketNotifier m_notifier;
    bool m_ended = false;
};
