#include "DirectFramePublisher.h"

#include "DirectFrameMessage.h"
#include "DirectModeProtocol.h"
#include "XConnection.h"
#include "linux/RuntimeDirectory.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr int bytesPerPixel = 4;

} // namespace

DirectFramePublisher::DirectFramePublisher(QSize frameSize, QObject *parent)
    : QObject(parent)
    , m_size(frameSize)
    , m_stride(frameSize.width() * bytesPerPixel) {
    const QString folder = QString::fromStdString(platform::runtimeDirectory());
    if (folder.isEmpty() || frameSize.isEmpty())
        return;
    const QString path = QStringLiteral("%1/hlx-direct-frames-%2")
                             .arg(folder)
                             .arg(QCoreApplication::applicationPid());
    m_pixelPath = path + QString::fromLatin1(hlx::directmode::pixelFileSuffix);
    m_pixelBytes = size_t(m_stride) * size_t(m_size.height()) * 2;
    const int fd = ::open(QFile::encodeName(m_pixelPath).constData(),
                          O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    void *mapped = MAP_FAILED;
    if (::ftruncate(fd, off_t(m_pixelBytes)) == 0)
        mapped = ::mmap(nullptr, m_pixelBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) {
        QFile::remove(m_pixelPath);
        return;
    }
    m_pixels = static_cast<uchar *>(mapped);

    // The runtime folder is the user's alone, so the socket needs no access options of its own
    // (which would make Qt bind it elsewhere and move it). A socket left by a killed demo of the
    // same process id is in the way.
    QLocalServer::removeServer(path);
    connect(&m_server, &QLocalServer::newConnection, this, &DirectFramePublisher::accept);
    m_server.listen(path);
}

DirectFramePublisher::~DirectFramePublisher() {
    m_server.close();
    for (Client &client : m_clients)
        delete client.socket;
    if (m_pixels) {
        ::munmap(m_pixels, m_pixelBytes);
        QFile::remove(m_pixelPath);
    }
}

void DirectFramePublisher::advertiseOn(xcb_window_t demoWindow) {
    if (!isListening())
        return;
    hlx::XConnection x(nullptr);
    const xcb_atom_t atom = x.internAtom(hlx::directmode::framesAtom);
    if (atom == XCB_ATOM_NONE)
        return;
    const QByteArray path = QFile::encodeName(socketPath());
    xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, demoWindow, atom, XCB_ATOM_STRING, 8,
                        uint32_t(path.size()), path.constData());
    x.sync();
}

void DirectFramePublisher::publish(const QImage &shown, const QRegion &changed) {
    // With nobody to show it to, nothing is copied at all; a client that comes gets a whole frame.
    if (m_clients.empty())
        return;
    m_stale[0] += changed;
    m_stale[1] += changed;
    m_unsent |= !changed.isEmpty();
    const int slot = m_newest == 0 ? 1 : 0;
    // A slot still read waits for the next flip; the display's picture is ours only until
    // this returns.
    if (m_unsent && !slotHeld(slot)) {
        writeSlot(slot, shown);
        m_unsent = false;
    }
    sendNewest();
}

void DirectFramePublisher::accept() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        m_clients.push_back(Client{socket, 0, 0});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readReleases(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        if (m_clients.size() == 1) {
            // The slots were not kept up while nobody looked.
            const QRect whole(QPoint(0, 0), m_size);
            m_stale[0] = m_stale[1] = QRegion(whole);
            m_newest = -1;
            m_unsent = true;
        }
    }
    // The newest frame, where there is one; else the next flip brings one.
    sendNewest();
}

void DirectFramePublisher::readReleases(QLocalSocket *socket) {
    Client *client = clientOf(socket);
    if (!client)
        return;
    hlx::directmode::SlotRelease slot = 0;
    while (socket->bytesAvailable() >= qint64(sizeof slot)) {
        socket->read(reinterpret_cast<char *>(&slot), sizeof slot);
        if (slot < 2)
            client->heldSlots &= ~(1u << slot);
    }
    // A frame that waited for this slot goes with the next flip.
}

void DirectFramePublisher::drop(QLocalSocket *socket) {
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->socket == socket) {
            m_clients.erase(it);
            break;
        }
    }
    socket->deleteLater();
}

DirectFramePublisher::Client *DirectFramePublisher::clientOf(QLocalSocket *socket) {
    for (Client &client : m_clients) {
        if (client.socket == socket)
            return &client;
    }
    return nullptr;
}

bool DirectFramePublisher::slotHeld(int slot) const {
    for (const Client &client : m_clients) {
        if (client.heldSlots & (1u << slot))
            return true;
    }
    return false;
}

void DirectFramePublisher::writeSlot(int slot, const QImage &shown) {
    const bool sameLayout = shown.size() == m_size && shown.depth() == 32;
    uchar *base = m_pixels + size_t(slot) * size_t(m_stride) * size_t(m_size.height());
    if (sameLayout && !m_stale[slot].isEmpty()) {
        const QRect bounds(QPoint(0, 0), m_size);
        for (const QRect &dirty : m_stale[slot]) {
            const QRect area = dirty.intersected(bounds);
            for (int y = area.top(); y <= area.bottom(); ++y)
                std::memcpy(base + size_t(y) * size_t(m_stride) +
                                size_t(area.left()) * bytesPerPixel,
                            shown.constScanLine(y) + size_t(area.left()) * bytesPerPixel,
                            size_t(area.width()) * bytesPerPixel);
        }
    }
    m_stale[slot] = QRegion();
    m_newest = slot;
    ++m_sequence;
}

void DirectFramePublisher::sendNewest() {
    if (m_newest < 0)
        return;
    const hlx::directmode::FrameMessage message{quint32(m_newest), m_sequence,
                                                quint32(m_size.width()), quint32(m_size.height()),
                                                quint32(m_stride)};
    for (Client &client : m_clients) {
        if (client.lastSequence == m_sequence)
            continue;
        client.lastSequence = m_sequence;
        client.heldSlots |= 1u << m_newest;
        client.socket->write(reinterpret_cast<const char *>(&message), sizeof message);
        client.socket->flush();
    }
}
