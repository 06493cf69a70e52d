#include "X11ScreenGrabber.h"

#include <QSocketNotifier>
#include <QtGlobal>

#include <xcb/randr.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> own(T *reply) {
    return Reply<T>(reply, &std::free);
}

// Only the layout that every current X server gives a 24-bit desktop is read: 32 bits a pixel
// in the machine's byte order, which is QImage's RGB32 as it stands.
bool hasRgb32Layout(const xcb_setup_t *setup, const xcb_screen_t *screen) {
    if (screen->root_depth != 24 && screen->root_depth != 32)
        return false;
    bool thirtyTwoBits = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth)
            thirtyTwoBits = formats.data->bits_per_pixel == 32;
    }
    const bool littleEndianHost = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    return thirtyTwoBits &&
           (setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) == littleEndianHost;
}

} // namespace

std::unique_ptr<ScreenGrabber> ScreenGrabber::create() {
    auto grabber = std::make_unique<X11ScreenGrabber>();
    if (!grabber->isValid())
        return nullptr;
    return grabber;
}

X11ScreenGrabber::X11ScreenGrabber() {
    m_pace.setSingleShot(true);
    m_pace.setTimerType(Qt::PreciseTimer);
    connect(&m_pace, &QTimer::timeout, this, &X11ScreenGrabber::grab);

    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    const xcb_setup_t *setup = xcb_get_setup(connection);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(connection, &xcb_damage_id);
    if (!screens.data || !damage || !damage->present || !hasRgb32Layout(setup, screens.data)) {
        qWarning("Pictor: the X server has no DAMAGE extension or no 32-bit desktop");
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = screens.data->root;
    m_damageEvent = damage->first_event;
    // The server answers damage requests only from a client that said which version it speaks.
    free(xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1),
                                        nullptr));

    const xcb_query_extension_reply_t *shm = xcb_get_extension_data(m_connection, &xcb_shm_id);
    m_hasShm = shm && shm->present;

    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(m_connection, &xcb_randr_id);
    if (randr && randr->present) {
        free(xcb_randr_query_version_reply(m_connection,
                                           xcb_randr_query_version(m_connection, 1, 6), nullptr));
        m_hasRandr = true;
        m_randrEvent = randr->first_event;
        xcb_randr_select_input(
            m_connection, m_root,
            XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_PROPERTY);
    }
    xcb_flush(m_connection);

    m_notifier =
        new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11ScreenGrabber::readEvents);
}

X11ScreenGrabber::~X11ScreenGrabber() {
    if (!m_connection)
        return;
    m_frame = QImage();
    releaseBuffers();
    xcb_disconnect(m_connection);
}

void X11ScreenGrabber::start() {
    if (!m_connection)
        return;
    // The root's damage, inferiors included, is every pixel drawn anywhere on the desktop; the
    // bounding box level keeps the notices down to one each time the box grows. It exists only
    // while we read: without it the server neither tracks nor tells us anything.
    m_damage = xcb_generate_id(m_connection);
    xcb_damage_create(m_connection, m_damage, m_root, XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
    if (m_hasShm && !attachBuffers(size_t(m_rect.width()) * size_t(m_rect.height()) * 4))
        m_hasShm = false;
    // Whatever is there now is the first picture, read without waiting for a period.
    m_dirty = true;
    m_sinceGrab.invalidate();
    grabWhenDue();
    xcb_flush(m_connection);
}

void X11ScreenGrabber::stop() {
    if (!m_connection)
        return;
    m_pace.stop();
    m_dirty = false;
    // The picture lives in the shared buffers, which go.
    m_frame = QImage();
    releaseBuffers();
    if (m_damage)
        xcb_damage_destroy(m_connection, m_damage);
    m_damage = 0;
    xcb_flush(m_connection);
}

void X11ScreenGrabber::readEvents() {
    bool displaysChanged = false;
    bool damaged = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        const uint8_t type = event->response_type & 0x7f;
        if (m_damage && type == m_damageEvent + XCB_DAMAGE_NOTIFY) {
            const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event);
            damaged = true;
            const QRect area(notify->area.x, notify->area.y, notify->area.width,
                             notify->area.height);
            if (notify->damage == m_damage && counts(area))
                m_dirty = true;
        } else if (m_hasRandr && (type == m_randrEvent + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                  type == m_randrEvent + XCB_RANDR_NOTIFY)) {
            displaysChanged = true;
        }
        free(event);
    }
    if (damaged && m_damage) {
        // Emptied now, before the grab, so that whatever is drawn from here on raises a notice of
        // its own: emptied after the grab, a change drawn while it was read would go unseen.
        xcb_damage_subtract(m_connection, m_damage, XCB_NONE, XCB_NONE);
        xcb_flush(m_connection);
    }
    if (m_dirty)
        grabWhenDue();
    if (displaysChanged)
        emit this->displaysChanged();
    if (xcb_connection_has_error(m_connection)) {
        // The X server went away: the toolkit ends the program on its own connection's loss.
        m_notifier->setEnabled(false);
    }
}

void X11ScreenGrabber::grabWhenDue() {
    if (m_pace.isActive())
        return;
    const qint64 since = m_sinceGrab.isValid() ? m_sinceGrab.elapsed() : periodMs();
    if (since >= periodMs())
        grab();
    else
        m_pace.start(int(periodMs() - since));
}

void X11ScreenGrabber::grab() {
    if (!m_dirty || !m_damage)
        return;
    m_dirty = false;
    m_sinceGrab.start();
    const bool grabbed = m_hasShm ? grabShared() : grabPlain();
    // Events that came in with the reply wait in xcb's queue, where the socket notifier never
    // sees them.
    readEvents();
    if (grabbed)
        emit frameChanged();
    else
        // The rectangle left the root window under us: an output went off or moved.
        emit displaysChanged();
}

bool X11ScreenGrabber::grabShared() {
    SharedBuffer &buffer = m_buffers[m_next];
    auto reply = own(xcb_shm_get_image_reply(
        m_connection,
        xcb_shm_get_image(m_connection, m_root, int16_t(m_rect.x()), int16_t(m_rect.y()),
                          uint16_t(m_rect.width()), uint16_t(m_rect.height()), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, buffer.segment, 0),
        nullptr));
    if (!reply)
        return false;
    m_next = 1 - m_next;
    m_frame = QImage(buffer.data, m_rect.width(), m_rect.height(), m_rect.width() * 4,
                     QImage::Format_RGB32);
    return true;
}

bool X11ScreenGrabber::grabPlain() {
    auto reply = own(
        xcb_get_image_reply(m_connection,
                            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root,
                                          int16_t(m_rect.x()), int16_t(m_rect.y()),
                                          uint16_t(m_rect.width()), uint16_t(m_rect.height()), ~0u),
                            nullptr));
    const size_t bytes = size_t(m_rect.width()) * size_t(m_rect.height()) * 4;
    if (!reply || size_t(xcb_get_image_data_length(reply.get())) < bytes)
        return false;
    QImage frame(m_rect.size(), QImage::Format_RGB32);
    std::memcpy(frame.bits(), xcb_get_image_data(reply.get()), bytes);
    m_frame = frame;
    return true;
}

bool X11ScreenGrabber::attachBuffers(size_t bytes) {
    for (SharedBuffer &buffer : m_buffers) {
        buffer.id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (buffer.id < 0)
            return false;
        void *address = shmat(buffer.id, nullptr, 0);
        // Marked for removal at once, so that the segment goes with the last process detached
        // from it, however this one ends.
        shmctl(buffer.id, IPC_RMID, nullptr);
        if (address == reinterpret_cast<void *>(-1)) {
            buffer.id = -1;
            releaseBuffers();
            return false;
        }
        buffer.data = static_cast<uchar *>(address);
        buffer.segment = xcb_generate_id(m_connection);
        // A server on another machine cannot attach: checked, so that we fall back to GetImage.
        auto error =
            own(xcb_request_check(m_connection, xcb_shm_attach_checked(m_connection, buffer.segment,
                                                                       uint32_t(buffer.id), 0)));
        if (error) {
            buffer.segment = 0;
            releaseBuffers();
            return false;
        }
    }
    return true;
}

void X11ScreenGrabber::releaseBuffers() {
    for (SharedBuffer &buffer : m_buffers) {
        if (buffer.segment)
            xcb_shm_detach(m_connection, buffer.segment);
        if (buffer.data)
            shmdt(buffer.data);
        buffer = SharedBuffer();
    }
    m_next = 0;
}
