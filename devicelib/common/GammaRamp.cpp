#include "GammaRamp.h"

#include <cstdlib>

namespace hlx {

namespace {

bool channelMatches(const std::vector<uint16_t> &a, const std::vector<uint16_t> &b, int tolerance) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::abs(int(a[i]) - int(b[i])) > tolerance)
            return false;
    }
    return true;
}

} // namespace

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

std::optional<GammaRamp> GammaRamp::fromChannels(const uint16_t *values, size_t count) {
    if (count == 0 || count % 3 != 0 || values == nullptr)
        return std::nullopt;
    const size_t size = count / 3;
    return GammaRamp{{values, values + size},
                     {values + size, values + 2 * size},
                     {values + 2 * size, values + count}};
}

std::vector<uint16_t> GammaRamp::channels() const {
    if (green.size() != red.size() || blue.size() != red.size())
        return {};
    std::vector<uint16_t> all(red);
    all.insert(all.end(), green.begin(), green.end());
    all.insert(all.end(), blue.begin(), blue.end());
    return all;
}

bool GammaRamp::matches(const GammaRamp &other, int tolerance) const {
    return channelMatches(red, other.red, tolerance) &&
           channelMatches(green, other.green, tolerance) &&
           channelMatches(blue, other.blue, tolerance);
}

} // namespace hlx
