#pragma once

#include "LeasedDisplayFrames.h"
#include "XConnection.h"

#include <QByteArray>

class QSocketNotifier;

namespace hlx::directmode {
struct PixelsOffer;
}

// Follows the root window's note of the demo that holds a display leased (a property change, so
// nothing is asked while nothing changes), and reads that demo's frames from the slots of the
// memfd that its local socket passes, as the socket names them. A demo that offers memory unfit
// to read, or says what a demo does not, is refused with a message until it names another socket.
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
    // Empty where the offer is taken; else why not.
    QString takeOffer(const hlx::directmode::PixelsOffer &offer, int fd);
    bool readFrameMessages();
    void refuse(const QString &why);
    void unmapPixels();

    hlx::XConnection m_x;
    QSocketNotifier *m_notifier = nullptr;
    xcb_atom_t m_demoAtom = XCB_ATOM_NONE;
    xcb_window_t m_holder = XCB_NONE;
    QString m_framesPath;
    bool m_reading = false;
    int m_socket = -1;
    QSocketNotifier *m_socketNotifier = nullptr;
    QByteArray m_received;
    QString m_refusedPath;
    uchar *m_pixels = nullptr;
    size_t m_pixelBytes = 0;
    QSize m_frameSize;
    int m_stride = 0;
    // The slot the frame on show lies in, until the demo names a newer one.
    int m_heldSlot = -1;
};
