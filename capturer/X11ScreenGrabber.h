#pragma once

#include "ScreenGrabber.h"

#include <QElapsedTimer>
#include <QTimer>

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

class QSocketNotifier;

// Reads the root window through a connection of its own, so that its events never queue behind
// the toolkit's: XDAMAGE tells what was drawn, MIT-SHM (or a plain GetImage where the server
// cannot share memory with us) copies it, RandR tells of outputs that change.
class X11ScreenGrabber final : public ScreenGrabber {
    Q_OBJECT

public:
    X11ScreenGrabber();
    ~X11ScreenGrabber() override;

    bool isValid() const { return m_connection != nullptr; }

protected:
    void start() override;
    void stop() override;

private:
    // Two, so that the picture on show is never the one the server is writing into.
    struct SharedBuffer {
        xcb_shm_seg_t segment = 0;
        int id = -1;
        uchar *data = nullptr;
    };

    void readEvents();
    void grabWhenDue();
    void grab();
    bool grabShared();
    bool grabPlain();
    bool attachBuffers(size_t bytes);
    void releaseBuffers();

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    QSocketNotifier *m_notifier = nullptr;
    uint8_t m_damageEvent = 0;
    uint8_t m_randrEvent = 0;
    bool m_hasRandr = false;
    bool m_hasShm = false;
    xcb_damage_damage_t m_damage = 0;

    bool m_dirty = false;
    QElapsedTimer m_sinceGrab;
    QTimer m_pace;
    SharedBuffer m_buffers[2];
    int m_next = 0;
};
