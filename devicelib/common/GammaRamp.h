#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hlx {

// A display's colour lookup table: one 16-bit output level per input level and channel.
struct GammaRamp {
    std::vector<uint16_t> red;
    std::vector<uint16_t> green;
    std::vector<uint16_t> blue;

    // Every input level to itself, spread over 16 bits.
    static GammaRamp identity(size_t size);
    size_t size() const { return red.size(); }
    bool operator==(const GammaRamp &other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
    bool operator!=(const GammaRamp &other) const { return !(*this == other); }
};

} // namespace hlx
