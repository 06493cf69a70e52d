#pragma once

#include <string>

namespace platform {

// UTF-8 to the wide text that the system's W functions take. Leaves this thread's last
// error as it found it: callers convert their arguments between a failed call and the
// report of its code.
std::wstring widen(const std::string &text);

} // namespace platform
