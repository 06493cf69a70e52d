#pragma once

#include "DisplayGamma.h"
#include "HeadsetDisplay.h"
#include "OwnRampStore.h"

#include <mutex>
#include <optional>

namespace hlx {

// Lowers the blue light of the headset's display through its colour lookup table, as
// night-light tools do, and gives the display its own table back when switched off. The own
// table is kept in `store` while the shield is on, so that a later run of the library warms it
// once and gives it back, plain or calibrated.
class Eyeshield {
public:
    // Level 1 is what the utility offers; the warmer ones are there for other callers.
    static std::optional<int> temperatureOf(int level);
    // The table the shield puts on a display whose own table is `original`.
    static GammaRamp shielded(const GammaRamp &original, int kelvin);
    // The level at which `ramp` is `own` shielded, within `tolerance`. Nothing for a table the
    // shield would not change, such as one with no entries.
    static std::optional<int> levelOf(const GammaRamp &ramp, const GammaRamp &own, int tolerance);
    // The display's own table, given the one it shows and the one kept for it: the kept one
    // while the display shows it or the shield's table of it. Any other table, one another
    // program set since (the user calibrated again), is the display's own. With nothing kept
    // that fits, a shielded identity counts as the shield's.
    static GammaRamp ownOf(const GammaRamp &current, const std::optional<GammaRamp> &kept,
                           int tolerance);

    Eyeshield(DisplayGamma &gamma, OwnRampStore &store);

    // Entry results: ok, or failed for a level the shield does not have or a table the system
    // refused. Switching on twice does not warm twice.
    int switchOn(const HeadsetDisplay &display, int level);
    int switchOff(const HeadsetDisplay &display);
    // Off for a headset display that is not on the desktop: nothing can be written now, and
    // the display gets its own table back when it returns (see reapply).
    void switchOffAway();
    // The level switched on, if any.
    std::optional<int> level() const;
    // For a headset display that came back or changed its mode: the shield's table while it is
    // on, the display's own when it was switched off while the display was away.
    void reapply(const HeadsetDisplay &display);

private:
    GammaRamp ownRamp(const HeadsetDisplay &display, const GammaRamp &current);
    // The display's own table on it, and nothing kept for it any more.
    bool giveBack(const HeadsetDisplay &display, const GammaRamp &current);

    DisplayGamma &m_gamma;
    OwnRampStore &m_store;
    mutable std::mutex m_mutex;
    std::optional<int> m_level;
    bool m_giveBackOnReturn = false;
};

} // namespace hlx
