#include "XvfbServer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int stopTimeoutMs = 5000;

// Reads up to the newline that Xvfb writes once it accepts connections; empty on failure.
QByteArray readLine(int fd, int timeoutMs) {
    QByteArray received;
    const QDeadlineTimer deadline(timeoutMs);
    while (!received.contains('\n')) {
        const qint64 remainingMs = deadline.remainingTime();
        if (remainingMs <= 0)
            return {};
        pollfd readable{fd, POLLIN, 0};
        const int polled = poll(&readable, 1, static_cast<int>(remainingMs));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return {};
        char buffer[64];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        // End of file: the server died before it was ready.
        if (count <= 0)
            return {};
        received.append(buffer, static_cast<int>(count));
    }
    return received.left(received.indexOf('\n'));
}

} // namespace

XvfbServer::~XvfbServer() {
    stop();
}

bool XvfbServer::start() {
    if (m_pid > 0)
        return false;
    const QByteArray program = QStandardPaths::findExecutable(QStringLiteral("Xvfb")).toLocal8Bit();
    int pipeFds[2];
    if (program.isEmpty() || pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    const int readEnd = pipeFds[0];
    const int writeEnd = pipeFds[1];
    // dup2 onto another number gives the child a copy without close-on-exec.
    const int childFd = writeEnd == 3 ? 4 : 3;
    const QByteArray childFdText = QByteArray::number(childFd);
    // 96 dpi, as with-xvfb.sh: a desktop at 100 %.
    const char *const argv[] = {program.constData(),
                                "-displayfd",
                                childFdText.constData(),
                                "-noreset",
                                "-nolisten",
                                "tcp",
                                "-screen",
                                "0",
                                "1280x1024x24",
                                "-dpi",
                                "96",
                                nullptr};
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here on: the parent has other threads.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        // Keeps the keymap compiler's warnings out of the test log.
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        dup2(writeEnd, childFd);
        execve(argv[0], const_cast<char *const *>(argv), environ);
        _exit(127);
    }
    close(writeEnd);
    if (pid < 0) {
        close(readEnd);
        return false;
    }
    m_pid = pid;

    const QByteArray displayNumber = readLine(readEnd, startTimeoutMs);
    close(readEnd);
    bool isNumber = false;
    displayNumber.toInt(&isNumber);
    if (!isNumber) {
        stop();
        return false;
    }
    m_displayName = QLatin1Char(':') + QString::fromLatin1(displayNumber);
    return true;
}

void XvfbServer::stop() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    const QDeadlineTimer deadline(stopTimeoutMs);
    for (;;) {
        const pid_t reaped = waitpid(m_pid, nullptr, WNOHANG);
        if (reaped == m_pid || (reaped < 0 && errno != EINTR))
            break;
        if (deadline.hasExpired()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            break;
        }
        QThread::msleep(10);
    }
    m_pid = -1;
    m_displayName.clear();
}

} // namespace testsupport
