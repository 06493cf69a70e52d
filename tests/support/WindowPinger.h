#pragma once

#include "XcbConnection.h"

#include <xcb/xcb.h>

#include <atomic>
#include <thread>

namespace testsupport {

// How long a window keeps its user waiting: the _NET_WM_PING with which window managers tell a hung
// program from a busy one, which Qt answers from the GUI thread of the window's program once it has
// handled every event queued before.
class WindowPinger {
public:
    struct Answers {
        int answered = 0;
        // The longest a ping waited for its answer.
        double longestMs = 0;
        // False if one went unanswered for 30 s, or the connection broke.
        bool all = true;
    };

    explicit WindowPinger(xcb_window_t window);
    ~WindowPinger();
    WindowPinger(const WindowPinger &) = delete;
    WindowPinger &operator=(const WindowPinger &) = delete;

    bool isValid();
    // One ping; true once answered, false after 30 s.
    bool ping();
    // Pings about every 10 ms on a thread of its own until stop().
    bool start();
    Answers stop();

private:
    void run();
    bool waitForAnswer(uint32_t serial);

    XcbConnection m_connection;
    const xcb_window_t m_window;
    xcb_atom_t m_protocols = XCB_ATOM_NONE;
    xcb_atom_t m_ping = XCB_ATOM_NONE;
    uint32_t m_serial = 0;
    std::atomic<bool> m_stop{false};
    Answers m_answers;
    std::thread m_thread;
};

} // namespace testsupport
