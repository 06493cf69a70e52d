#pragma once

#include "OwnRampStore.h"

namespace hlx {

// Each display's own table as a property of the root window of $DISPLAY, one for each output and
// display. Properties live exactly as long as the X server, as its gamma tables do: a new server
// starts with plain tables and none of these.
class RootPropertyRampStore final : public OwnRampStore {
public:
    // The property's name for this display.
    static std::string propertyOf(const HeadsetDisplay &display);

    std::optional<GammaRamp> recall(const HeadsetDisplay &display) override;
    bool keep(const HeadsetDisplay &display, const GammaRamp &own) override;
    void forget(const HeadsetDisplay &display) override;
};

} // namespace hlx
