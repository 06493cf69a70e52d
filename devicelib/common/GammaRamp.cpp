#include "GammaRamp.h"

namespace hlx {

GammaRamp GammaRamp::identity(size_t size) {
    GammaRamp ramp;
    ramp.red.resize(size);
    for (size_t i = 0; i < size; ++i) {
        const double level = size > 1 ? double(i) / double(size - 1) : 1.0;
        ramp.red[i] = static_cast<uint16_t>(level * 65535.0 + 0.5);
    }
    ramp.green = ramp.red;
    ramp.blue = ramp.red;
    return ramp;
}

} // namespace hlx
