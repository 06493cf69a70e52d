#include "DamageFrames.h"

#include <QDeadlineTimer>

#include <xcb/damage.h>

#include <poll.h>

DamageFrames::DamageFrames(xcb_window_t window) {
    if (!m_x.isValid())
        return;
    xcb_connection_t *c = m_x.get();
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_damage_id);
    if (!extension || !extension->present)
        return;
    // The server answers damage requests only from a client that said which version it speaks.
    if (!m_x.reply(xcb_damage_query_version_reply, xcb_damage_query_version(c, 1, 1)))
        return;
    m_damageEvent = extension->first_event;
    // Every rectangle drawn, so that nothing is lost while this client is slow to read; no
    // subtraction in between, whose round trips would stand between the frames it counts.
    m_damage = xcb_generate_id(c);
    xcb_damage_create(c, m_damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    if (!m_x.sync())
        m_damage = 0;
}

DamageFrames::~DamageFrames() {
    if (m_damage) {
        xcb_damage_destroy(m_x.get(), m_damage);
        m_x.sync();
    }
}

std::vector<uint32_t> DamageFrames::collect(int ms, double refreshHz) {
    std::vector<uint32_t> frames;
    if (!m_damage)
        return frames;
    xcb_connection_t *c = m_x.get();
    // Notices already queued belong to frames that landed before.
    while (xcb_generic_event_t *event = xcb_poll_for_event(c))
        std::free(event);
    const QDeadlineTimer deadline(ms);
    // A frame that lands in several rectangles gives several notices, which a busy server may
    // take milliseconds apart; frames come a period apart. Two frames that land together count
    // as one, which errs on the side of too few.
    const double sameFrameMs = 500.0 / refreshHz;
    uint32_t lastNotice = 0;
    while (!deadline.hasExpired() && !xcb_connection_has_error(c)) {
        pollfd socket{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&socket, 1, int(std::max<qint64>(1, deadline.remainingTime())));
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == m_damageEvent + XCB_DAMAGE_NOTIFY) {
                const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                if (frames.empty() || notify->timestamp - lastNotice >= sameFrameMs)
                    frames.push_back(notify->timestamp);
                lastNotice = notify->timestamp;
            }
            std::free(event);
        }
    }
    return frames;
}

DamageFrames::Pace DamageFrames::pace(const std::vector<uint32_t> &frameTimes, double refreshHz) {
    Pace pace;
    pace.frames = int(frameTimes.size());
    pace.perSecond = perSecond(frameTimes);
    if (frameTimes.size() < 2)
        return pace;
    const double lateMs = 1.5 * 1000.0 / refreshHz;
    int late = 0;
    for (size_t i = 1; i < frameTimes.size(); ++i)
        late += frameTimes[i] - frameTimes[i - 1] > lateMs;
    pace.lateShare = late / double(frameTimes.size() - 1);
    return pace;
}

double DamageFrames::perSecond(const std::vector<uint32_t> &frameTimes) {
    if (frameTimes.size() < 2)
        return 0;
    // Frames are at least half a period apart, so the span is never zero.
    return double(frameTimes.size() - 1) * 1000.0 / double(frameTimes.back() - frameTimes.front());
}
