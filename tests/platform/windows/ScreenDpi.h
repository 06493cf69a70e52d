#pragma once

#include <windows.h>

namespace support {

// The screen scale of the prefix's user, where the Display settings write it; a program reads
// it as it starts. Every case shares the prefix, so what was there comes back at the end.
class ScreenDpi {
public:
    ScreenDpi();
    ~ScreenDpi();
    ScreenDpi(const ScreenDpi &) = delete;
    ScreenDpi &operator=(const ScreenDpi &) = delete;

    bool set(DWORD dpi);

private:
    HKEY m_key = nullptr;
    DWORD m_previous = 0;
    bool m_hadValue = false;
};

} // namespace support
