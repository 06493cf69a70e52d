#pragma once

#include "DeviceMessages.h"
#include "Links.h"

#include <chrono>
#include <optional>
#include <vector>

namespace hlx {

// Keeps a storm of link changes (a dock or a hub let loose) from flooding the window, which
// redraws for every message on its one thread. A few changes after a quiet spell are told at
// once, so a headset that brings both its links up close together shows within a frame; in a
// storm, the ones after them at most once an interval, in the order the links last changed, and a
// link that changed back meanwhile is not told at all. Every link is told when it changes for
// good.
class AnnouncementPacer {
public:
    using Clock = std::chrono::steady_clock;
    // The device libraries' pace. In a storm: faster than the eye follows a sentence, slow enough
    // for the window's thread to keep up.
    static constexpr std::chrono::milliseconds linkInterval{25};
    // After a quiet spell: the first look, or a headset's two links and a change of mind, at once.
    static constexpr int linkBurst = 4;

    // `burst` announcements may follow each other at once; each interval earns one more, up to
    // `burst`.
    explicit AnnouncementPacer(Clock::duration interval = linkInterval, int burst = linkBurst);

    // The links as they are after one change of the devices.
    void see(const Links &links);
    // What is due at `now`; the first announcement tells both links, the down ones too.
    std::vector<const DeviceMessage *> due(Clock::time_point now);
    // How long from `now` until what is held back is due; nothing while nothing is.
    std::optional<Clock::duration> wait(Clock::time_point now) const;

private:
    bool holding() const;
    // Announcements that may be made at `now` without waiting, fractions included.
    double allowance(Clock::time_point now) const;

    Clock::duration m_interval;
    double m_burst;
    double m_allowance;
    std::optional<Links> m_seen;
    // What the windows were last told, and when.
    std::optional<Links> m_told;
    std::optional<Clock::time_point> m_toldAt;
    // The links in the order of their latest change since then.
    std::vector<Link> m_changed;
};

} // namespace hlx
