#include "WindowPinger.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include <poll.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kGiveUpAfter = std::chrono::seconds(30);
constexpr auto kInterval = std::chrono::milliseconds(10);

} // namespace

WindowPinger::WindowPinger(xcb_window_t window)
    : m_window(window) {}

WindowPinger::~WindowPinger() {
    stop();
}

bool WindowPinger::isValid() {
    if (!m_connection.isValid())
        return false;
    if (m_ping != XCB_ATOM_NONE)
        return true;
    m_protocols = m_connection.atom("WM_PROTOCOLS");
    m_ping = m_connection.atom("_NET_WM_PING");
    // Qt sends the answer to the root window, for whoever watches its structure.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection.get(), m_connection.root(), XCB_CW_EVENT_MASK, &mask);
    return m_connection.sync();
}

bool WindowPinger::ping() {
    if (!isValid())
        return false;
    const uint32_t serial = ++m_serial;
    xcb_client_message_event_t ping{};
    ping.response_type = XCB_CLIENT_MESSAGE;
    ping.format = 32;
    ping.window = m_window;
    ping.type = m_protocols;
    // Echoed as it is; the serial stands where a window manager puts its timestamp.
    ping.data.data32[0] = m_ping;
    ping.data.data32[1] = serial;
    ping.data.data32[2] = m_window;
    xcb_send_event(m_connection.get(), 0, m_window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&ping));
    xcb_flush(m_connection.get());
    return waitForAnswer(serial);
}

bool WindowPinger::start() {
    if (!isValid())
        return false;
    m_thread = std::thread(&WindowPinger::run, this);
    return true;
}

WindowPinger::Answers WindowPinger::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    return m_answers;
}

void WindowPinger::run() {
    while (!m_stop) {
        const Clock::time_point sent = Clock::now();
        if (!ping()) {
            m_answers.all = false;
            return;
        }
        const std::chrono::duration<double, std::milli> waited = Clock::now() - sent;
        m_answers.longestMs = std::max(m_answers.longestMs, waited.count());
        ++m_answers.answered;
        std::this_thread::sleep_until(sent + kInterval);
    }
}

bool WindowPinger::waitForAnswer(uint32_t serial) {
    xcb_connection_t *connection = m_connection.get();
    const Clock::time_point deadline = Clock::now() + kGiveUpAfter;
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const auto *message = reinterpret_cast<const xcb_client_message_event_t *>(event);
            const bool answer = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                                message->type == m_protocols && message->data.data32[0] == m_ping &&
                                message->data.data32[1] == serial;
            std::free(event);
            if (answer)
                return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (xcb_connection_has_error(connection) || left.count() <= 0)
            return false;
        pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
        ::poll(&readable, 1, int(std::min<long long>(left.count(), 100)));
    }
}

} // namespace testsupport
