#pragma once

#include "HeadsetIds.h"
#include "Verdict.h"

#include <libudev.h>

#include <map>
#include <string>

namespace hlx::udev {

// The headset's display link: up while a DRM connector is connected to a display whose EDID marks
// a head-mounted display or whose manufacturer and product are listed. The kernel reports a hot
// plug once for the whole card, so every event re-reads all connectors of its card.
class DisplayLink {
public:
    explicit DisplayLink(const headsets::HeadsetIds &ids);

    void scan(struct ::udev *context);
    // One event of the drm subsystem, for a card or one of its connectors.
    void handle(struct ::udev *context, udev_device *device);
    bool up() const;
    // Whether a headset's display is on a connector, and why.
    headsets::Verdict judge(udev_device *connector) const;

private:
    void rescanCard(struct ::udev *context, const std::string &cardSyspath);
    void forgetCard(const std::string &cardSyspath);

    const headsets::HeadsetIds &m_ids;
    // Connector path to whether a headset's display is on it.
    std::map<std::string, bool> m_connectors;
};

} // namespace hlx::udev
