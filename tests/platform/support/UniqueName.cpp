#include "UniqueName.h"

#include <chrono>
#include <random>

namespace support {

std::string uniqueName(const std::string &prefix) {
    static std::mt19937_64 generator(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return prefix + '-' + std::to_string(generator());
}

} // namespace support
