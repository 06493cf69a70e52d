#include "HeadsetDisplayFinder.h"

#include "Edid.h"
#include "EdidIdentity.h"
#include "HeadsetJudge.h"
#include "RandrOutputs.h"
#include "XConnection.h"

namespace hlx {

namespace {

HeadsetDisplay describe(const RandrOutputs::Output &output, const headsets::Verdict &verdict) {
    HeadsetDisplay display;
    display.output = output.name;
    display.identity = edidIdentity(output.edid);
    if (verdict.headset) {
        const std::optional<headsets::Edid> edid = headsets::Edid::parse(output.edid);
        display.headset = edid ? edid->name() : output.name;
    }
    if (output.nonDesktop) {
        display.place = HeadsetDisplay::Place::OffDesktop;
        display.directMode = true;
        display.why = "the X server keeps " + output.name +
                      " off the desktop for VR compositors (its non-desktop property is set)";
    } else if (output.crtc == XCB_NONE) {
        display.place = HeadsetDisplay::Place::OffDesktop;
        display.why = output.name + " is connected but switched off: no mode is set on it";
    } else {
        display.place = HeadsetDisplay::Place::Desktop;
        display.rect = output.rect;
        display.refreshHz = output.refreshHz;
        display.why = verdict.why;
    }
    return display;
}

} // namespace

HeadsetDisplayFinder::HeadsetDisplayFinder(headsets::HeadsetIds ids)
    : m_ids(std::move(ids)) {}

std::vector<HeadsetDisplay> HeadsetDisplayFinder::all() const {
    XConnection x(nullptr);
    if (!x.isValid())
        return {};
    std::vector<HeadsetDisplay> displays;
    const headsets::HeadsetJudge judge(m_ids);
    const RandrOutputs outputs(x.get(), x.root());
    for (const RandrOutputs::Output &output : outputs.outputs()) {
        // A non-desktop output reads as disconnected, yet the headset is there.
        if (!output.connected && !output.nonDesktop)
            continue;
        const headsets::Verdict verdict = judge.display(output.edid);
        HeadsetDisplay display = describe(output, verdict);
        if (!output.edidProblem.empty())
            display.why = output.edidProblem;
        else if (!verdict.headset)
            display.why = output.edidSource.empty()
                              ? verdict.why
                              : verdict.why + ", read at " + output.edidSource;
        displays.push_back(std::move(display));
    }
    return displays;
}

} // namespace hlx
