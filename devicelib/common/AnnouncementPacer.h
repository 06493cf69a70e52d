#pragma once

#include "DeviceMessages.h"
#include "Links.h"

#include <chrono>
#include <optional>
#include <vector>

namespace hlx {

// Keeps a storm of link changes (a dock or a hub let loose) from flooding the window, which
// redraws for every message on its one thread: a change after a quiet spell is told at once, the
// ones after it at most once an interval, in the order the links last changed, and a link that
// changed back meanwhile is not told at all. Every link is told when it changes for good.
class AnnouncementPacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit AnnouncementPacer(Clock::duration interval);

    // The links as they are after one change of the devices.
    void see(const Links &links);
    // What is due at `now`; the first announcement tells both links, the down ones too.
    std::vector<const DeviceMessage *> due(Clock::time_point now);
    // How long from `now` until what is held back is due; nothing while nothing is.
    std::optional<Clock::duration> wait(Clock::time_point now) const;

private:
    bool holding() const;

    Clock::duration m_interval;
    std::optional<Links> m_seen;
    // What the windows were last told, and when.
    std::optional<Links> m_told;
    std::optional<Clock::time_point> m_toldAt;
    // The links in the order of their latest change since then.
    std::vector<Link> m_changed;
};

} // namespace hlx
