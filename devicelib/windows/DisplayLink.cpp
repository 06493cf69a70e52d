#include "DisplayLink.h"

#include "DeviceList.h"
#include "HeadsetJudge.h"

namespace hlx::windows {

DisplayLink::DisplayLink(const headsets::HeadsetIds &ids)
    : m_ids(ids) {}

void DisplayLink::scan(const VerdictSeen &seen) {
    const headsets::HeadsetJudge judge(m_ids);
    const DeviceList monitors = DeviceList::presentMonitors();
    bool up = false;
    monitors.forEach([&](const std::string &instanceId, SP_DEVINFO_DATA &device) {
        const headsets::Verdict verdict = judge.display(monitors.edid(device));
        up = up || verdict.headset;
        if (seen)
            seen(instanceId, verdict);
    });
    m_up = up;
}

} // namespace hlx::windows
