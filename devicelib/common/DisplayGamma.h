#pragma once

#include "GammaRamp.h"

#include <optional>
#include <string>

namespace hlx {

// The colour lookup table of one display, by the name the system gives the display (the
// `output` of a HeadsetDisplay). Each system has its own.
class DisplayGamma {
public:
    virtual ~DisplayGamma() = default;

    // Nothing if the display has no table here or it cannot be read.
    virtual std::optional<GammaRamp> read(const std::string &output) = 0;
    // False if the system refused the table; the display then keeps the one it had.
    virtual bool write(const std::string &output, const GammaRamp &ramp) = 0;
    // How far, in 16-bit steps, an entry read back may lie from the one written. Every
    // comparison of tables uses it, so that the shield knows the table it wrote.
    virtual int readBackTolerance() const = 0;
};

} // namespace hlx
