#include "RandrDisplayWatch.h"

#include <xcb/randr.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace hlx {

RandrDisplayWatch::RandrDisplayWatch(std::function<void()> changed)
    : m_changed(std::move(changed))
    , m_connection(nullptr) {}

RandrDisplayWatch::~RandrDisplayWatch() {
    if (m_thread.joinable()) {
        const char stop = 1;
        while (::write(m_wakeUp[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (int fd : m_wakeUp) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool RandrDisplayWatch::start() {
    if (!m_connection.isValid() || ::pipe2(m_wakeUp, O_CLOEXEC) != 0)
        return false;
    xcb_connection_t *c = m_connection.get();
    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (!randr || !randr->present)
        return false;
    m_firstRandrEvent = randr->first_event;
    free(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    xcb_randr_select_input(c, m_connection.root(),
                           XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE |
                               XCB_RANDR_NOTIFY_MASK_OUTPUT_PROPERTY);
    if (!m_connection.sync())
        return false;
    m_thread = std::thread(&RandrDisplayWatch::run, this);
    return true;
}

void RandrDisplayWatch::run() {
    xcb_connection_t *c = m_connection.get();
    pollfd fds[] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {m_wakeUp[0], POLLIN, 0}};
    for (;;) {
        bool changed = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & 0x7f;
            changed |= type == m_firstRandrEvent + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                       type == m_firstRandrEvent + XCB_RANDR_NOTIFY;
            std::free(event);
        }
        // A burst of notifications for one change is answered once.
        if (changed)
            m_changed();
        if (xcb_connection_has_error(c))
            return;
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
    }
}

} // namespace hlx
