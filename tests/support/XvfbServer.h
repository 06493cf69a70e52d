#pragma once

#include <QString>

#include <sys/types.h>

namespace testsupport {

// A private X server of its own, for tests that need a second display independent of the one
// the test runs on. The server dies with this object, and with the thread that started it.
class XvfbServer {
public:
    static constexpr int startTimeoutMs = 10000;

    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // Returns once the server accepts connections.
    bool start();
    // ":N" once started, else empty.
    QString displayName() const { return m_displayName; }

private:
    void stop();

    pid_t m_pid = -1;
    QString m_displayName;
};

} // namespace testsupport
