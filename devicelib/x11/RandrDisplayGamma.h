#pragma once

#include "DisplayGamma.h"

namespace hlx {

// The gamma table of the CRTC that drives a RandR output, on $DISPLAY.
class RandrDisplayGamma final : public DisplayGamma {
public:
    std::optional<GammaRamp> read(const std::string &output) override;
    bool write(const std::string &output, const GammaRamp &ramp) override;
    // The server hands back a CRTC's table exactly as it was given.
    int readBackTolerance() const override { return 0; }
};

} // namespace hlx
