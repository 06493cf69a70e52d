// hlx-headsets: what the Windows device library sees, for a user who wonders why the window says a
// link is not ready. Every present monitor and USB device, whether it is one of the headset's
// links and why, then the two links as the library would announce them, then the headset's
// display on the desktop and its eye shield.
#include "HeadsetDisplayFinder.h"
#include "HeadsetDisplayReport.h"
#include "HeadsetIdFiles.h"
#include "PresentHeadsets.h"
#include "SessionRegistryRampStore.h"
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
    WindowsDisplayGamma gamma;
    SessionRegistryRampStore ownRamps;
    // What the X11 side says of its leases, said once for all here.
    const hlx::DirectModeLease lease{"leases are not used on Windows; only the VR software that "
                                     "holds the display shows on it"};
    std::fputs(hlx::headsetDisplayReport(hlx::HeadsetDisplayFinder(ids).find(), gamma, ownRamps,
                                         usb, lease)
                   .c_str(),
               stdout);
    return 0;
}
