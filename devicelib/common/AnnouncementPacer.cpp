#include "AnnouncementPacer.h"

#include <algorithm>

namespace hlx {

namespace {

bool isUp(const Links &links, Link link) {
    return link == Link::Display ? links.display : links.usb;
}

} // namespace

AnnouncementPacer::AnnouncementPacer(Clock::duration interval, int burst)
    : m_interval(interval)
    , m_burst(burst)
    , m_allowance(burst) {}

void AnnouncementPacer::see(const Links &links) {
    for (const Link link : {Link::Display, Link::Usb}) {
        if (m_seen && isUp(*m_seen, link) != isUp(links, link)) {
            m_changed.erase(std::remove(m_changed.begin(), m_changed.end(), link), m_changed.end());
            m_changed.push_back(link);
        }
    }
    m_seen = links;
}

bool AnnouncementPacer::holding() const {
    return m_seen && (!m_told || m_told->display != m_seen->display || m_told->usb != m_seen->usb);
}

double AnnouncementPacer::allowance(Clock::time_point now) const {
    if (!m_toldAt)
        return m_allowance;
    const double earned =
        std::chrono::duration<double>(now - *m_toldAt) / std::chrono::duration<double>(m_interval);
    return std::min(m_burst, m_allowance + std::max(0.0, earned));
}

std::optional<AnnouncementPacer::Clock::duration>
AnnouncementPacer::wait(Clock::time_point now) const {
    if (!holding())
        return std::nullopt;
    const double missing = 1.0 - allowance(now);
    if (missing <= 0)
        return Clock::duration::zero();
    // To the microsecond: a wake-up that comes a fraction early only sleeps once more.
    return std::chrono::round<std::chrono::microseconds>(missing *
                                                         std::chrono::duration<double>(m_interval));
}

std::vector<const DeviceMessage *> AnnouncementPacer::due(Clock::time_point now) {
    const std::optional<Clock::duration> left = wait(now);
    if (!left || *left > Clock::duration::zero()) {
        if (!holding())
            m_changed.clear();
        return {};
    }
    std::vector<const DeviceMessage *> messages;
    if (!m_told) {
        messages = messagesForChange(std::nullopt, *m_seen);
    } else {
        for (const Link link : m_changed) {
            if (isUp(*m_told, link) != isUp(*m_seen, link))
                messages.push_back(linkMessage(link, isUp(*m_seen, link)));
        }
    }
    m_allowance = allowance(now) - 1.0;
    m_told = m_seen;
    m_toldAt = now;
    m_changed.clear();
    return messages;
}

} // namespace hlx
