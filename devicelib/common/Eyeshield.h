#pragma once

#include "DisplayGamma.h"
#include "HeadsetDisplay.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace hlx {

// Lowers the blue light of the headset's display through its colour lookup table, as
// night-light tools do, and gives the display its own table back when switched off.
class Eyeshield {
public:
    // Level 1 is what the utility offers; the warmer ones are there for other callers.
    static std::optional<int> temperatureOf(int level);
    // The table the shield puts on a display whose own table is `original`.
    static GammaRamp shielded(const GammaRamp &original, int kelvin);
    // The level whose table this is, when a display's own table was the identity: how a table
    // that the shield left on in an earlier run is told from the display's own.
    static std::optional<int> levelOf(const GammaRamp &ramp);

    explicit Eyeshield(DisplayGamma &gamma);

    // Entry results: ok, or failed for a level the shield does not have or a table the system
    // refused. Switching on twice does not warm twice.
    int switchOn(const HeadsetDisplay &display, int level);
    int switchOff(const HeadsetDisplay &display);
    // The level switched on, if any.
    std::optional<int> level() const;
    // Puts the table on again, for a headset display that came back or changed its mode.
    void reapply(const HeadsetDisplay &display);

private:
    // The display's own table, given the one it shows now: the one known from before the shield
    // went on, else the one it shows, taking one that the shield left on for the identity.
    GammaRamp ownRamp(const std::string &output, const GammaRamp &current);

    DisplayGamma &m_gamma;
    mutable std::mutex m_mutex;
    std::optional<int> m_level;
    std::map<std::string, GammaRamp> m_ownRamps;
};

} // namespace hlx
