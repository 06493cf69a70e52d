// hlx-headsets: what the Windows device library sees, for a user who wonders why the window says a
// link is not ready. Every present monitor and USB device, whether it is one of the headset's
// links and why, then the two links as the library would announce them, then the headset's
// display on the desktop and its eye shield.
#include "Eyeshield.h"
#include "HeadsetDisplayFinder.h"
#include "HeadsetIdFiles.h"
#include "PresentHeadsets.h"
#include "WindowsDisplayGamma.h"

#include <cstdio>
#include <cstring>

using namespace hlx::windows;
namespace headsets = hlx::headsets;

namespace {

VerdictSeen printer(const char *kind) {
    return [kind](const std::string &instanceId, const headsets::Verdict &verdict) {
        std::printf("%s %s: %s\n", kind, instanceId.c_str(), verdict.why.c_str());
    };
}

// Where the headset's display is, and whether the eye shield is on it: what decides what the
// eye-shield entries answer.
void printHeadsetDisplay(const hlx::HeadsetDisplay &display) {
    using Place = hlx::HeadsetDisplay::Place;
    if (display.place == Place::None) {
        std::printf("Headset display: none; no display is a headset's\n");
        return;
    }
    if (display.place == Place::OffDesktop) {
        std::printf("Headset display: %s, not on the desktop: %s\n", display.headset.c_str(),
                    display.why.c_str());
        std::printf("Eye shield: the headset's display is not on the desktop, so its colours "
                    "cannot be set (the library answers -3)\n");
        return;
    }
    std::printf("Headset display: %s on %s, %dx%d at %d,%d, %g Hz\n", display.headset.c_str(),
                display.output.c_str(), display.rect.width, display.rect.height, display.rect.x,
                display.rect.y, display.refreshHz);
    hlx::windows::WindowsDisplayGamma gamma;
    const std::optional<hlx::GammaRamp> ramp = gamma.read(display.output);
    const std::optional<int> level = ramp ? hlx::Eyeshield::levelOf(*ramp) : std::nullopt;
    if (!ramp)
        std::printf("Eye shield: unknown; the display's colour table cannot be read\n");
    else if (level)
        std::printf("Eye shield: on, level %d\n", *level);
    else
        std::printf("Eye shield: off\n");
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1) {
        std::fprintf(stderr, "usage: %s\n", argv[0]);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const headsets::HeadsetIds ids =
        HeadsetIdFiles::load(HeadsetIdFiles::Problems::ToStandardError);
    const bool display = headsetDisplayPresent(ids, printer("display"));
    const bool usb = headsetUsbPresent(ids, printer("USB"));
    std::printf("HDMI link: %s\nUSB link: %s\n", display ? "ready" : "not ready",
                usb ? "ready" : "not ready");
    printHeadsetDisplay(hlx::HeadsetDisplayFinder(ids).find());
    return 0;
}
