#include "DirectFramePublisher.h"

#include "DirectFrameMessage.h"
#include "DirectModeProtocol.h"
#include "XConnection.h"
#include "linux/RuntimeDirectory.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int bytesPerPixel = 4;

void copyArea(const QImage &from, QPoint fromOrigin, uchar *to, int toStride, const QRect &area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memcpy(to + size_t(y) * size_t(toStride) + size_t(area.left()) * bytesPerPixel,
                    from.constScanLine(y - fromOrigin.y()) +
                        size_t(area.left() - fromOrigin.x()) * bytesPerPixel,
                    size_t(area.width()) * bytesPerPixel);
}

} // namespace

DirectFramePublisher::DirectFramePublisher(QSize displaySize, QObject *parent)
    : QObject(parent)
    , m_size(displaySize)
    , m_stride(displaySize.width() * bytesPerPixel)
    , m_pixelBytes(size_t(m_stride) * size_t(std::max(displaySize.height(), 0)) * 2) {
    std::string refusal;
    const QString folder = QString::fromStdString(platform::privateRuntimeDirectory(&refusal));
    if (!refusal.empty())
        qWarning("The headset's frames: %s", refusal.c_str());
    QString problem;
    if (folder.isEmpty())
        problem = QStringLiteral("no runtime folder of this user's alone");
    else if (displaySize.isEmpty())
        problem = QStringLiteral("the display has no size");
    else
        makePixels(&problem);
    if (!problem.isEmpty()) {
        qWarning("The headset's frames are not offered to the capturer: %s", qPrintable(problem));
        return;
    }
    const QString path = QStringLiteral("%1/hlx-direct-frames-%2")
                             .arg(folder)
                             .arg(QCoreApplication::applicationPid());
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
    if (m_pixels)
        ::munmap(m_pixels, m_pixelBytes);
    if (m_pixelsFd >= 0)
        ::close(m_pixelsFd);
}

bool DirectFramePublisher::makePixels(QString *problem) {
    const int fd = ::memfd_create("hlx-direct-frames", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        *problem = QStringLiteral("no memfd: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // All of it taken now: where memory is short this says so, where a page first touched later
    // would kill the demo with SIGBUS. Sealed so that no client's reads can fault.
    const int error = ::posix_fallocate(fd, 0, off_t(m_pixelBytes));
    void *mapped = MAP_FAILED;
    if (error != 0) {
        *problem = QStringLiteral("no memory for two frames of %1 bytes: %2")
                       .arg(m_pixelBytes / 2)
                       .arg(QString::fromLocal8Bit(strerror(error)));
    } else if (::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
        *problem = QStringLiteral("the memfd takes no seals: %1")
                       .arg(QString::fromLocal8Bit(strerror(errno)));
    } else {
        mapped = ::mmap(nullptr, m_pixelBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED)
            *problem = QStringLiteral("the memfd cannot be mapped: %1")
                           .arg(QString::fromLocal8Bit(strerror(errno)));
    }
    if (mapped == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    m_pixelsFd = fd;
    m_pixels = static_cast<uchar *>(mapped);
    return true;
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

void DirectFramePublisher::publish(const EyesFrame &frame) {
    // With nobody to show it to, nothing is copied at all; a client that comes gets a whole frame.
    if (!anyClient())
        return;
    m_stale[0] += frame.changed;
    m_stale[1] += frame.changed;
    m_unsent |= !frame.changed.isEmpty();
    const int slot = m_newest == 0 ? 1 : 0;
    // A slot still read waits for the next flip; the eyes' pictures are ours only until this
    // returns.
    if (m_unsent && !slotHeld(slot)) {
        writeSlot(slot, frame);
        m_unsent = false;
    }
    sendNewest();
}

void DirectFramePublisher::accept() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        if (!offerPixels(socket)) {
            delete socket;
            continue;
        }
        socket->setParent(this);
        const bool first = !anyClient();
        m_clients.push_back(Client{socket, 0, 0});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readReleases(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        if (first) {
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

bool DirectFramePublisher::offerPixels(QLocalSocket *socket) {
    // Before anything Qt writes: the memfd goes with the first byte.
    const hlx::directmode::PixelsOffer offer{hlx::directmode::pixelsOfferMagic,
                                             quint32(m_size.width()), quint32(m_size.height()),
                                             quint32(m_stride)};
    iovec data{const_cast<hlx::directmode::PixelsOffer *>(&offer), sizeof offer};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &m_pixelsFd, sizeof(int));
    return ::sendmsg(int(socket->socketDescriptor()), &message, MSG_NOSIGNAL) ==
           ssize_t(sizeof offer);
}

void DirectFramePublisher::readReleases(QLocalSocket *socket) {
    Client *client = clientOf(socket);
    if (!client)
        return;
    hlx::directmode::SlotRelease slot = 0;
    while (socket->bytesAvailable() >= qint64(sizeof slot)) {
        socket->read(reinterpret_cast<char *>(&slot), sizeof slot);
        if (slot > 1) {
            qWarning("The headset's frames: a client that sent %08x, not a slot, is dropped", slot);
            socket->abort();
            return;
        }
        client->heldSlots &= ~(1u << slot);
    }
    // A frame that waited for this slot goes with the next flip.
}

void DirectFramePublisher::drop(QLocalSocket *socket) {
    if (Client *client = clientOf(socket)) {
        client->socket = nullptr;
        client->heldSlots = 0;
    }
    socket->deleteLater();
    if (!m_sending)
        forgetDropped();
}

void DirectFramePublisher::forgetDropped() {
    m_clients.erase(std::remove_if(m_clients.begin(), m_clients.end(),
                                   [](const Client &client) { return !client.socket; }),
                    m_clients.end());
}

DirectFramePublisher::Client *DirectFramePublisher::clientOf(QLocalSocket *socket) {
    for (Client &client : m_clients) {
        if (client.socket == socket)
            return &client;
    }
    return nullptr;
}

bool DirectFramePublisher::slotHeld(int slot) const {
    return std::any_of(m_clients.begin(), m_clients.end(),
                       [slot](const Client &client) { return client.heldSlots & (1u << slot); });
}

bool DirectFramePublisher::anyClient() const {
    return std::any_of(m_clients.begin(), m_clients.end(),
                       [](const Client &client) { return client.socket != nullptr; });
}

void DirectFramePublisher::writeSlot(int slot, const EyesFrame &frame) {
    uchar *base = m_pixels + size_t(slot) * size_t(m_stride) * size_t(m_size.height());
    const QRect leftArea(QPoint(0, 0), frame.left.size());
    const QRect rightArea(leftArea.topRight() + QPoint(1, 0), frame.right.size());
    const QRect bounds(QPoint(0, 0), m_size);
    const bool sameLayout = frame.displaySize == m_size && frame.left.depth() == 32 &&
                            frame.right.depth() == 32 && bounds.contains(leftArea | rightArea);
    if (sameLayout) {
        for (const QRect &dirty : m_stale[slot]) {
            copyArea(frame.left, leftArea.topLeft(), base, m_stride, dirty & leftArea);
            copyArea(frame.right, rightArea.topLeft(), base, m_stride, dirty & rightArea);
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
    m_sending = true;
    for (Client &client : m_clients) {
        if (!client.socket || client.lastSequence == m_sequence)
            continue;
        client.lastSequence = m_sequence;
        client.heldSlots |= 1u << m_newest;
        client.socket->write(reinterpret_cast<const char *>(&message), sizeof message);
        client.socket->flush();
    }
    m_sending = false;
    forgetDropped();
}
