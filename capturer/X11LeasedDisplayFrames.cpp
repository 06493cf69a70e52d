#include "X11LeasedDisplayFrames.h"

#include "DirectFrameMessage.h"
#include "DirectModeHolder.h"
#include "DirectModeProtocol.h"

#include <QFile>
#include <QSocketNotifier>

#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
    connect(&m_socket, &QLocalSocket::readyRead, this, &X11LeasedDisplayFrames::readMessages);
    // The demo ends, or takes its socket away: whether it still holds the display is read again.
    connect(&m_socket, &QLocalSocket::disconnected, this, &X11LeasedDisplayFrames::lookForHolder);
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
    if (output == m_heldOutput && framesPath == m_framesPath &&
        (m_socket.state() != QLocalSocket::UnconnectedState || !m_reading))
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
    if (m_framesPath.isEmpty() || m_socket.state() != QLocalSocket::UnconnectedState)
        return;
    m_socket.connectToServer(m_framesPath);
}

void X11LeasedDisplayFrames::disconnectFromFrames() {
    m_socket.blockSignals(true);
    m_socket.abort();
    m_socket.blockSignals(false);
    m_heldSlot = -1;
    m_frame = QImage();
    unmapPixels();
    emit frameChanged();
}

void X11LeasedDisplayFrames::readMessages() {
    hlx::directmode::FrameMessage message{};
    bool received = false;
    while (m_socket.bytesAvailable() >= qint64(sizeof message)) {
        m_socket.read(reinterpret_cast<char *>(&message), sizeof message);
        received = true;
        // Only the newest is shown; every slot named before it is let go.
        if (m_heldSlot >= 0 && m_heldSlot != int(message.slot)) {
            const hlx::directmode::SlotRelease release = uint32_t(m_heldSlot);
            m_socket.write(reinterpret_cast<const char *>(&release), sizeof release);
        }
        m_heldSlot = int(message.slot);
    }
    if (!received)
        return;
    m_socket.flush();
    const size_t slotBytes = size_t(message.stride) * message.height;
    if (message.slot > 1 || message.stride < message.width * 4 || !mapPixels(slotBytes * 2)) {
        m_frame = QImage();
    } else {
        m_frame = QImage(m_pixels + slotBytes * message.slot, int(message.width),
                         int(message.height), int(message.stride), QImage::Format_RGB32);
    }
    emit frameChanged();
}

bool X11LeasedDisplayFrames::mapPixels(size_t bytes) {
    if (m_pixels && m_pixelBytes == bytes)
        return true;
    unmapPixels();
    const QByteArray path =
        QFile::encodeName(m_framesPath) + QByteArray(hlx::directmode::pixelFileSuffix);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    void *mapped = MAP_FAILED;
    if (::fstat(fd, &status) == 0 && size_t(status.st_size) >= bytes)
        mapped = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED)
        return false;
    m_pixels = static_cast<uchar *>(mapped);
    m_pixelBytes = bytes;
    return true;
}

void X11LeasedDisplayFrames::unmapPixels() {
    if (m_pixels)
        ::munmap(m_pixels, m_pixelBytes);
    m_pixels = nullptr;
    m_pixelBytes = 0;
}
