#pragma once

#include "GammaRamp.h"
#include "HeadsetDisplay.h"

#include <optional>
#include <string>

namespace hlx {

// Each display's own table while the shield's is on it, where the next run of the library finds
// it: that run reads only the warm table, and cannot tell from it what was under it. It is kept
// for as long as the tables themselves last, and by output and display identity, so that
// another display on the same output is never given it. Each system has its own.
class OwnRampStore {
public:
    virtual ~OwnRampStore() = default;

    // Nothing when none is kept for this display, or what is kept is no table.
    virtual std::optional<GammaRamp> recall(const HeadsetDisplay &display) = 0;
    // False when it could not be kept.
    virtual bool keep(const HeadsetDisplay &display, const GammaRamp &own) = 0;
    virtual void forget(const HeadsetDisplay &display) = 0;

protected:
    // One name for each output and display that the systems key what they keep by.
    static std::string keyOf(const HeadsetDisplay &display) {
        return display.output + ' ' + display.identity;
    }
};

} // namespace hlx
