#pragma once

#include <string>
#include <string_view>

namespace hlx {

// A short name for the display whose EDID this is (FNV-1a, 64 bits, in hex), which tells it from
// another display plugged into the same output: the EDID carries the maker, the product and the
// serial number. Empty for a display without an EDID.
std::string edidIdentity(std::string_view edid);

} // namespace hlx
