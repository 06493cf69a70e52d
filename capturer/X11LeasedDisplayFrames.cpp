#include "X11LeasedDisplayFrames.h"

#include "DirectFrameMessage.h"
#include "DirectModeHolder.h"
#include "DirectModeProtocol.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <vector>

namespace {

// Larger than any headset's panel: what a demo offers beyond it is not a picture.
constexpr uint32_t largestSide = 16384;

// The descriptors that came with a message; every one is ours to close.
std::vector<int> passedDescriptors(msghdr &message) {
    std::vector<int> fds;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            fds.push_back(fd);
        }
    }
    return fds;
}

} // namespace

std::unique_ptr<LeasedDisplayFrames> LeasedDisplayFrames::create() {
    auto frames = std::make_unique<X11LeasedDisplayFrames>();
    if (!frames->isValid())
        return nullptr;
    return frames;
}

X11LeasedDisplayFrames::X11LeasedDisplayFrames()
    : m_x(nullptr) {
    if (!m_x.isValid())
        return;
    m_demoAtom = m_x.internAtom(hlx::directmode::demoWindowAtom);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_x.get(), m_x.root(), XCB_CW_EVENT_MASK, &mask);
    m_x.sync();
    m_notifier =
        new QSocketNotifier(xcb_get_file_descriptor(m_x.get()), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11LeasedDisplayFrames::readEvents);
    lookForHolder();
}

X11LeasedDisplayFrames::~X11LeasedDisplayFrames() {
    // The window that shows the frames is going too: it hears nothing more.
    blockSignals(true);
    disconnectFromFrames();
}

void X11LeasedDisplayFrames::setReading(bool reading) {
    if (reading == m_reading)
        return;
    m_reading = reading;
    if (m_reading)
        connectToFrames();
    else
        disconnectFromFrames();
}

void X11LeasedDisplayFrames::readEvents() {
    bool changed = false;
    bool moved = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_x.get())) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CONFIGURE_NOTIFY) {
            moved = true;
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto *notify = reinterpret_cast<xcb_property_notify_event_t *>(event);
            // The root tells of every program's properties; the holder's window only of its own.
            changed |= notify->window != m_x.root() || notify->atom == m_demoAtom;
        } else if (type == XCB_DESTROY_NOTIFY) {
            changed = true;
        }
        std::free(event);
    }
    if (changed)
        lookForHolder();
    else if (moved)
        readHolderWindow();
    if (xcb_connection_has_error(m_x.get()))
        m_notifier->setEnabled(false);
}

void X11LeasedDisplayFrames::lookForHolder() {
    const std::optional<hlx::DirectModeHolder> holder = hlx::DirectModeHolder::find(m_x);
    const xcb_window_t window = holder ? holder->window : XCB_NONE;
    if (window != m_holder && window != XCB_NONE) {
        // Its end, and the socket it names later, are heard from its window.
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_x.get(), window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_x.get());
    }
    const bool newHolder = window != m_holder;
    m_holder = window;
    if (newHolder)
        readHolderWindow();
    const QString output = holder ? QString::fromStdString(holder->output) : QString();
    const QString framesPath = holder ? QFile::decodeName(holder->framesPath.c_str()) : QString();
    if (output == m_heldOutput && framesPath == m_framesPath && (m_socket >= 0 || !m_reading))
        return;
    disconnectFromFrames();
    m_framesPath = framesPath;
    const bool outputChanged = output != m_heldOutput;
    m_heldOutput = output;
    if (m_reading)
        connectToFrames();
    if (outputChanged)
        emit heldOutputChanged();
}

void X11LeasedDisplayFrames::readHolderWindow() {
    QRect rect;
    if (m_holder != XCB_NONE) {
        xcb_connection_t *c = m_x.get();
        const auto geometryCookie = xcb_get_geometry(c, m_holder);
        const auto placeCookie = xcb_translate_coordinates(c, m_holder, m_x.root(), 0, 0);
        xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(c, geometryCookie, nullptr);
        xcb_translate_coordinates_reply_t *place =
            xcb_translate_coordinates_reply(c, placeCookie, nullptr);
        if (geometry && place)
            rect = QRect(place->dst_x, place->dst_y, geometry->width, geometry->height);
        std::free(geometry);
        std::free(place);
    }
    if (rect == m_holderWindow)
        return;
    m_holderWindow = rect;
    emit holderWindowMoved();
}

void X11LeasedDisplayFrames::connectToFrames() {
    const QByteArray path = QFile::encodeName(m_framesPath);
    sockaddr_un address{};
    if (path.isEmpty() || m_socket >= 0 || m_framesPath == m_refusedPath ||
        size_t(path.size()) >= sizeof address.sun_path)
        return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    // A demo too busy to take it is asked again at the next change of its window.
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    m_socket = fd;
    m_socketNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_socketNotifier, &QSocketNotifier::activated, this,
            &X11LeasedDisplayFrames::readMessages);
}

void X11LeasedDisplayFrames::disconnectFromFrames() {
    delete m_socketNotifier;
    m_socketNotifier = nullptr;
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    m_received.clear();
    m_heldSlot = -1;
    m_frame = QImage();
    unmapPixels();
    emit frameChanged();
}

void X11LeasedDisplayFrames::readMessages() {
    bool ended = false;
    for (;;) {
        char bytes[4096];
        iovec data{bytes, sizeof bytes};
        alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(m_socket, &message, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        const std::vector<int> fds = got >= 0 ? passedDescriptors(message) : std::vector<int>();
        const bool offered = !m_pixels && got > 0 && m_received.isEmpty();
        if (offered) {
            hlx::directmode::PixelsOffer offer{};
            const bool whole = size_t(got) >= sizeof offer;
            if (whole)
                std::memcpy(&offer, bytes, sizeof offer);
            const QString problem = !whole ? QStringLiteral("its first message is cut short")
                                           : takeOffer(offer, fds.size() == 1 ? fds.front() : -1);
            for (int fd : fds)
                ::close(fd);
            if (!problem.isEmpty()) {
                refuse(problem);
                return;
            }
            m_received.append(bytes + sizeof offer, int(size_t(got) - sizeof offer));
            continue;
        }
        for (int fd : fds)
            ::close(fd);
        if (got > 0) {
            m_received.append(bytes, int(got));
            continue;
        }
        ended = got == 0 || errno != EAGAIN;
        break;
    }
    if (!readFrameMessages())
        return;
    if (ended) {
        // The demo ends, or takes its socket away: whether it still holds the display is read
        // again.
        disconnectFromFrames();
        lookForHolder();
    }
}

QString X11LeasedDisplayFrames::takeOffer(const hlx::directmode::PixelsOffer &offer, int fd) {
    if (offer.magic != hlx::directmode::pixelsOfferMagic)
        return QStringLiteral("it does not begin as the demo's frames do");
    if (offer.width == 0 || offer.height == 0 || offer.width > largestSide ||
        offer.height > largestSide || offer.stride / 4 < offer.width ||
        offer.stride / 4 > largestSide)
        return QStringLiteral("%1 x %2 pixels in rows of %3 bytes is no picture")
            .arg(offer.width)
            .arg(offer.height)
            .arg(offer.stride);
    if (fd < 0)
        return QStringLiteral("no memory came with it");
    const size_t bytes = size_t(offer.stride) * offer.height * 2;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || size_t(status.st_size) != bytes)
        return QStringLiteral("its memory holds %1 bytes, not the %2 of two frames")
            .arg(qint64(status.st_size))
            .arg(qint64(bytes));
    // Memory that may shrink would fault under the reader.
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (seals < 0 || (seals & F_SEAL_SHRINK) == 0)
        return QStringLiteral("its memory is not sealed against shrinking");
    void *mapped = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        return QStringLiteral("its memory cannot be mapped: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    m_pixels = static_cast<uchar *>(mapped);
    m_pixelBytes = bytes;
    m_frameSize = QSize(int(offer.width), int(offer.height));
    m_stride = int(offer.stride);
    return {};
}

bool X11LeasedDisplayFrames::readFrameMessages() {
    hlx::directmode::FrameMessage message{};
    bool received = false;
    while (size_t(m_received.size()) >= sizeof message) {
        std::memcpy(&message, m_received.constData(), sizeof message);
        m_received.remove(0, int(sizeof message));
        if (message.slot > 1 || QSize(int(message.width), int(message.height)) != m_frameSize ||
            int(message.stride) != m_stride) {
            refuse(QStringLiteral("it names slot %1 of %2 x %3 pixels, not one of those it offered")
                       .arg(message.slot)
                       .arg(message.width)
                       .arg(message.height));
            return false;
        }
        received = true;
        // Only the newest is shown; every slot named before it is let go.
        if (m_heldSlot >= 0 && m_heldSlot != int(message.slot)) {
            const hlx::directmode::SlotRelease release = uint32_t(m_heldSlot);
            ::send(m_socket, &release, sizeof release, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        m_heldSlot = int(message.slot);
    }
    if (received) {
        const size_t slotBytes = size_t(m_stride) * size_t(m_frameSize.height());
        m_frame = QImage(m_pixels + slotBytes * size_t(m_heldSlot), m_frameSize.width(),
                         m_frameSize.height(), m_stride, QImage::Format_RGB32);
        emit frameChanged();
    }
    return true;
}

void X11LeasedDisplayFrames::refuse(const QString &why) {
    qWarning("The frames of the demo at %s are refused: %s", qPrintable(m_framesPath),
             qPrintable(why));
    m_refusedPath = m_framesPath;
    disconnectFromFrames();
}

void X11LeasedDisplayFrames::unmapPixels() {
    if (m_pixels)
        ::munmap(m_pixels, m_pixelBytes);
    m_pixels = nullptr;
    m_pixelBytes = 0;
}
