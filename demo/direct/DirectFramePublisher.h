#pragma once

#include "DirectModeHooks.h"

#include <QLocalServer>
#include <QObject>
#include <QRegion>
#include <QSize>

#include <xcb/xcb.h>

#include <vector>

class QLocalSocket;

// Hands the frames the demo shows on a leased display to the capturer without a copy through the
// X server: a local socket in the user's runtime folder passes each client a sealed memfd of two
// slots, then tells it which slot holds the newest frame; only what changed is copied into a
// slot. A slot that a client still reads is not written; the change then goes with the next flip.
class DirectFramePublisher : public QObject {
    Q_OBJECT

public:
    explicit DirectFramePublisher(QSize displaySize, QObject *parent = nullptr);
    ~DirectFramePublisher() override;

    // False when neither the socket nor the memory could be had; the demo shows all the same.
    bool isListening() const { return m_pixels != nullptr && m_server.isListening(); }
    QString socketPath() const { return m_server.fullServerName(); }
    // Names the socket on the demo's window, where the capturer looks for it.
    void advertiseOn(xcb_window_t demoWindow);

    // The frame whose flip was just asked for.
    void publish(const EyesFrame &frame);

private:
    struct Client {
        // Null once dropped, until no loop over the clients runs.
        QLocalSocket *socket = nullptr;
        // Bit n: slot n is still read by this client.
        unsigned heldSlots = 0;
        quint32 lastSequence = 0;
    };

    bool makePixels(QString *problem);
    void accept();
    bool offerPixels(QLocalSocket *socket);
    void readReleases(QLocalSocket *socket);
    void drop(QLocalSocket *socket);
    void forgetDropped();
    Client *clientOf(QLocalSocket *socket);
    bool slotHeld(int slot) const;
    bool anyClient() const;
    // Copies what changed since the slot was last written.
    void writeSlot(int slot, const EyesFrame &frame);
    void sendNewest();

    QSize m_size;
    int m_stride = 0;
    int m_pixelsFd = -1;
    uchar *m_pixels = nullptr;
    size_t m_pixelBytes = 0;
    QLocalServer m_server;
    std::vector<Client> m_clients;
    // A socket's abort, on a write that the client's end refused, drops it at once.
    bool m_sending = false;
    // Where each slot differs from the frame on the display.
    QRegion m_stale[2];
    int m_newest = -1;
    // A change on the display that no slot holds yet.
    bool m_unsent = false;
    quint32 m_sequence = 0;
};
