#include "HeadsetDisplayReport.h"

#include "EntryResults.h"
#include "Eyeshield.h"

#include <cstdio>

namespace hlx {

namespace {

template <typename... Values> std::string line(const char *format, Values... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return std::string(text) + '\n';
}

std::string eyeshieldOn(const HeadsetDisplay &display, DisplayGamma &gamma,
                        OwnRampStore &ownRamps) {
    const std::optional<GammaRamp> ramp = gamma.read(display.output);
    if (!ramp)
        return line("Eye shield: unknown; the display's colour table cannot be read");
    if (ramp->size() == 0)
        return line("Eye shield: off; the display's colour table has no entries");
    const int tolerance = gamma.readBackTolerance();
    const std::optional<int> level = Eyeshield::levelOf(
        *ramp, Eyeshield::ownOf(*ramp, ownRamps.recall(display), tolerance), tolerance);
    if (!level)
        return line("Eye shield: off");
    return line("Eye shield: on, level %d (%d K)", *level, *Eyeshield::temperatureOf(*level));
}

std::string shieldThroughDemo(int answer) {
    if (answer == entryResult::ok)
        return line("Eye shield: set through the demo that shows on the headset's display (the "
                    "library answers %d)",
                    answer);
    if (answer == entryResult::failed)
        return line("Eye shield: the demo that shows on the headset's display cannot set its "
                    "colours: its CRTC refuses a colour table (the library answers %d)",
                    answer);
    return line("Eye shield: the demo let go of the headset's display while asked, so its "
                "colours cannot be set (the library answers %d)",
                answer);
}

} // namespace

std::string headsetDisplayReport(const HeadsetDisplay &display, DisplayGamma &gamma,
                                 OwnRampStore &ownRamps, bool headsetOnUsb,
                                 const DirectModeLease &directModeLease) {
    switch (display.place) {
    case HeadsetDisplay::Place::Desktop:
        return line("Headset display: %s on %s, %dx%d at %d,%d, %g Hz", display.headset.c_str(),
                    display.output.c_str(), display.rect.width, display.rect.height, display.rect.x,
                    display.rect.y, display.refreshHz) +
               eyeshieldOn(display, gamma, ownRamps);
    case HeadsetDisplay::Place::OffDesktop:
        return line("Headset display: %s, not on the desktop: %s", display.headset.c_str(),
                    display.why.c_str()) +
               (display.directMode
                    ? line(
                          "Direct mode: yes; the display is kept off the desktop for VR software") +
                          line("Direct mode lease: %s", directModeLease.said.empty()
                                                            ? "unknown"
                                                            : directModeLease.said.c_str())
                    : std::string()) +
               (directModeLease.heldByDemo
                    ? shieldThroughDemo(directModeLease.shieldAnswer)
                    : line("Eye shield: the headset's display is not on the desktop, so its "
                           "colours cannot be set (the library answers %d)",
                           entryResult::notOnDesktop));
    case HeadsetDisplay::Place::None:
        break;
    }
    const std::string none = line("Headset display: none; no display is a headset's");
    if (headsetOnUsb)
        return none + line("Eye shield: the headset is on USB but its display is not on the "
                           "desktop, so its colours cannot be set (the library answers %d)",
                           entryResult::notOnDesktop);
    return none + line("Eye shield: no headset (the library answers %d)", entryResult::unavailable);
}

} // namespace hlx
