#include "Broadcaster.h"

#include <windows.h>

#include <string>

namespace hlx {

namespace {

// Long enough for a busy window, short enough that one hung window cannot stall the rest.
constexpr UINT kWaitMilliseconds = 5000;

} // namespace

bool Broadcaster::send(std::string_view name) const {
    const UINT message = RegisterWindowMessageA(std::string(name).c_str());
    if (message == 0)
        return false;
    if (!m_wait)
        return PostMessageW(HWND_BROADCAST, message, 0, 0) != FALSE;
    return SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, kWaitMilliseconds,
                               nullptr) != 0;
}

} // namespace hlx
