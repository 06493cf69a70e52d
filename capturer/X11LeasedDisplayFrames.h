#pragma once

#include "LeasedDisplayFrames.h"
#include "XConnection.h"

#include <QLocalSocket>

class QSocketNotifier;

// Follows the root window's note of the demo that holds a display leased (a property change, so
// nothing is asked while nothing changes), and reads that demo's frames from the slots of its
// shared file, as its local socket names them.
class X11LeasedDisplayFrames final : public LeasedDisplayFrames {
    Q_OBJECT

public:
    X11LeasedDisplayFrames();
    ~X11LeasedDisplayFrames() override;

    bool isValid() const { return m_notifier != nullptr; }
    void setReading(bool reading) override;

private:
    void readEvents();
    void lookForHolder();
    void readHolderWindow();
    void connectToFrames();
    void disconnectFromFrames();
    void readMessages();
    bool mapPixels(size_t bytes);
    void unmapPixels();

    hlx::XConnection m_x;
    QSocketNotifier *m_notifier = nullptr;
    xcb_atom_t m_demoAtom = XCB_ATOM_NONE;
    xcb_window_t m_holder = XCB_NONE;
    QString m_framesPath;
    bool m_reading = false;
    QLocalSocket m_socket;
    uchar *m_pixels = nullptr;
    size_t m_pixelBytes = 0;
    // The slot the frame on show lies in, until the demo names a newer one.
    int m_heldSlot = -1;
};
