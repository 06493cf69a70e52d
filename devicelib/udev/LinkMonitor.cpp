#include "LinkMonitor.h"

#include "LinkAnnouncer.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <string>
#include <system_error>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace hlx::udev {

LinkMonitor::LinkMonitor(headsets::HeadsetIds ids)
    : m_ids(std::move(ids))
    , m_usb(m_ids)
    , m_display(m_ids) {}

LinkMonitor::~LinkMonitor() {
    stop();
}

bool LinkMonitor::start() {
    m_context.reset(udev_new());
    if (m_context)
        m_monitor.reset(udev_monitor_new_from_netlink(m_context.get(), "udev"));
    if (!m_monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "usb", "usb_device") < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "drm", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor.get()) < 0 ||
        (m_stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) < 0) {
        stop();
        return false;
    }
    // The host's signals are the host's business: the thread inherits a mask that blocks them
    // all, so none is handled on it or wakes it.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
        m_thread = std::thread(&LinkMonitor::run, this);
    } catch (const std::system_error &) {
        // Nothing may leave a C entry point as an exception.
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!m_thread.joinable())
        stop();
    return m_thread.joinable();
}

void LinkMonitor::stop() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        while (::write(m_stopEvent, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    if (m_stopEvent >= 0)
        ::close(m_stopEvent);
    m_stopEvent = -1;
    m_monitor.reset();
    m_context.reset();
}

void LinkMonitor::run() {
    ::pthread_setname_np(::pthread_self(), threadName);
    rescan();

    pollfd watched[] = {{udev_monitor_get_fd(m_monitor.get()), POLLIN, 0},
                        {m_stopEvent, POLLIN, 0}};
    for (;;) {
        // No timeout: the thread costs nothing while nothing is plugged or unplugged.
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == ENOMEM)
                continue;
            return giveUp("cannot wait for udev events", errno);
        }
        if (watched[1].revents != 0)
            return;
        const short events = watched[0].revents;
        if (events & POLLNVAL)
            return giveUp("the udev socket is gone", EBADF);
        // An overrun shows as POLLERR; reading is what takes the error off the socket.
        int error = 0;
        switch (receiveEvents(error)) {
        case Received::Everything:
            break;
        case Received::AfterLoss:
            rescan();
            break;
        case Received::Nothing:
            return giveUp("cannot read udev events", error);
        }
        // Only a socket shut down for good hangs up; it would report itself readable forever.
        if (events & POLLHUP)
            return giveUp("the udev socket was shut down", 0);
    }
}

LinkMonitor::Received LinkMonitor::receiveEvents(int &error) {
    bool lost = false;
    for (;;) {
        errno = 0;
        const UdevDevice device{udev_monitor_receive_device(m_monitor.get())};
        if (!device) {
            error = errno;
            switch (error) {
            case EAGAIN:
                return lost ? Received::AfterLoss : Received::Everything;
            case ENOBUFS:
                // The kernel dropped events: what is still queued is only part of the story, so
                // it is read away unheard and every device is read again instead.
                lost = true;
                continue;
            case EINTR:
                continue;
            case EBADF:
            case ENOTSOCK:
            case ENOTCONN:
                return Received::Nothing;
            default:
                // A message libudev could not take (malformed, or no memory for it) is lost as
                // an overrun's are; the next poll finds whatever follows it.
                return Received::AfterLoss;
            }
        }
        if (lost)
            continue;
        const char *subsystem = udev_device_get_subsystem(device.get());
        if (!subsystem)
            continue;
        if (std::strcmp(subsystem, "usb") == 0)
            m_usb.handle(device.get());
        else if (std::strcmp(subsystem, "drm") == 0)
            m_display.handle(m_context.get(), device.get());
        announceChanges();
    }
}

void LinkMonitor::rescan() {
    m_usb.scan(m_context.get());
    m_display.scan(m_context.get());
    announceChanges();
}

void LinkMonitor::announceChanges() {
    // Nothing for the many events that change no link: further interfaces, binds, other devices.
    const Links current{m_display.up(), m_usb.up()};
    LinkAnnouncer::announce(messagesForChange(m_announced, current));
    m_announced = current;
}

void LinkMonitor::giveUp(const char *what, int error) {
    const std::string why = error != 0 ? std::string(" (") + std::strerror(error) + ')' : "";
    std::fprintf(stderr, "libHLX: %s%s; the headset's links are no longer followed\n", what,
                 why.c_str());
}

} // namespace hlx::udev
