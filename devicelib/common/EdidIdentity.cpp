#include "EdidIdentity.h"

#include <cstdint>
#include <cstdio>

namespace hlx {

std::string edidIdentity(std::string_view edid) {
    if (edid.empty())
        return {};
    uint64_t hash = 0xcbf29ce484222325u;
    for (const char byte : edid) {
        hash ^= uint8_t(byte);
        hash *= 0x100000001b3u;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace hlx
