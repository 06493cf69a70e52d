// hlx-headsets: what the udev device library sees, for a user who wonders why the window says a
// link is not ready or the eye shield does nothing. Every USB device and display connector,
// whether it is one of the headset's links and why, then the two links as the library would
// announce them, the headset's display on the X desktop (in direct mode: whether a lease of it
// could be had, taken to see only when asked to), and the eye shield.
#include "DirectModeLeaseCheck.h"
#include "DisplayLink.h"
#include "HeadsetDisplayFinder.h"
#include "HeadsetDisplayReport.h"
#include "HeadsetIdFiles.h"
#include "RandrDisplayGamma.h"
#include "RootPropertyRampStore.h"
#include "UdevHandles.h"
#include "UsbLink.h"

#include <cstdio>
#include <cstring>

using namespace hlx::udev;
namespace headsets = hlx::headsets;

namespace {

// The devices of `subsystem` whose DEVTYPE is `type`.
template <typename Found>
void forEachOfType(struct ::udev *context, const char *subsystem, const char *type, Found &&found) {
    const UdevEnumerate enumerate(udev_enumerate_new(context));
    if (!enumerate)
        return;
    udev_enumerate_add_match_subsystem(enumerate.get(), subsystem);
    udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", type);
    forEachDevice(context, enumerate.get(), found);
}

void print(const char *kind, udev_device *device, const headsets::Verdict &verdict) {
    std::printf("%s %s: %s\n", kind, udev_device_get_sysname(device), verdict.why.c_str());
}

} // namespace

int main(int argc, char **argv) {
    const bool tryLease = argc == 2 && std::strcmp(argv[1], "--try-lease") == 0;
    if (argc > 1 && !tryLease) {
        std::fprintf(stderr,
                     "usage: %s [--try-lease]\n"
                     "  --try-lease  take a lease of a headset's display in direct mode and free "
                     "it at once,\n"
                     "               to see whether the X server lends it (meanwhile the display "
                     "reads as\n"
                     "               disconnected, and a VR program that starts is refused)\n",
                     argv[0]);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const UdevContext context(udev_new());
    if (!context) {
        std::fprintf(stderr, "hlx-headsets: udev cannot be read\n");
        return 1;
    }
    const headsets::HeadsetIds ids = HeadsetIdFiles::load(HeadsetIdFiles::Problems::Report);
    UsbLink usb(ids);
    DisplayLink display(ids);
    forEachOfType(context.get(), "usb", "usb_device",
                  [&](udev_device *device) { print("USB", device, usb.judge(device)); });
    forEachOfType(context.get(), "drm", "drm_connector",
                  [&](udev_device *device) { print("display", device, display.judge(device)); });
    usb.scan(context.get());
    display.scan(context.get());
    std::printf("HDMI link: %s\nUSB link: %s\n", display.up() ? "ready" : "not ready",
                usb.up() ? "ready" : "not ready");
    const hlx::HeadsetDisplayFinder finder(ids);
    for (const hlx::HeadsetDisplay &output : finder.all())
        std::printf("X output %s: %s\n", output.output.c_str(), output.why.c_str());
    hlx::RandrDisplayGamma gamma;
    hlx::RootPropertyRampStore ownRamps;
    const hlx::HeadsetDisplay headset = finder.find();
    const hlx::DirectModeLease lease =
        headset.directMode ? hlx::directModeLeaseCheck(headset, tryLease) : hlx::DirectModeLease{};
    std::fputs(hlx::headsetDisplayReport(headset, gamma, ownRamps, usb.up(), lease).c_str(),
               stdout);
    return 0;
}
