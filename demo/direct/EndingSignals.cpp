#include "EndingSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int endingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler's end and the event loop's end; only write(2) touches it in the handler.
int signalPipe[2] = {-1, -1};

void caught(int signal) {
    const int savedErrno = errno;
    const auto number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
    errno = savedErrno;
}

QString nameOf(int signal) {
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    }
    return QStringLiteral("signal %1").arg(signal);
}

void setAction(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : endingSignals)
        sigaction(signal, &action, nullptr);
}

} // namespace

EndingSignals::EndingSignals(QObject *parent)
    : QObject(parent) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndingSignals::readSignals);
    setAction(&caught);
}

EndingSignals::~EndingSignals() {
    if (!m_notifier)
        return;
    setAction(SIG_DFL);
    unsigned char pending = 0;
    const bool untold = ::read(signalPipe[0], &pending, 1) == 1;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
    if (untold)
        ::raise(pending);
}

void EndingSignals::readSignals() {
    unsigned char number = 0;
    while (::read(signalPipe[0], &number, 1) == 1)
        emit arrived(nameOf(number));
}
