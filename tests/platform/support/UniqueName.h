#pragma once

#include <string>

namespace support {

// `prefix` with a suffix that no other run of the tests, in parallel or before, has used.
std::string uniqueName(const std::string &prefix);

} // namespace support
