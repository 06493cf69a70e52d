#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace hlx {

// A display's colour lookup table: one 16-bit output level per input level and channel.
struct GammaRamp {
    std::vector<uint16_t> red;
    std::vector<uint16_t> green;
    std::vector<uint16_t> blue;

    // Every input level to itself, spread over 16 bits.
    static GammaRamp identity(size_t size);
    // The table whose red, green and blue follow one another in `values`, as a table is kept
    // outside the library; nothing unless they split into three channels of one size.
    static std::optional<GammaRamp> fromChannels(const uint16_t *values, size_t count);

    size_t size() const { return red.size(); }
    // Red, green and blue one after the other; nothing unless the three are of one size, so that
    // fromChannels() gives the same table back.
    std::vector<uint16_t> channels() const;
    // The same size, and every entry within `tolerance` of the other table's: how a table read
    // back is told from another where the system keeps fewer bits than it was given.
    bool matches(const GammaRamp &other, int tolerance) const;
    bool operator==(const GammaRamp &other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
    bool operator!=(const GammaRamp &other) const { return !(*this == other); }
};

} // namespace hlx
