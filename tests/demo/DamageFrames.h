#pragma once

#include "XcbConnection.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

// The frames of a window as they reach the X server: each drawing into it is a DAMAGE notice that
// carries the server's time, so a frame the program counts as drawn but that still waits on its
// way does not count until it lands. Watches on a connection of its own.
class DamageFrames {
public:
    explicit DamageFrames(xcb_window_t window);
    ~DamageFrames();
    DamageFrames(const DamageFrames &) = delete;
    DamageFrames &operator=(const DamageFrames &) = delete;

    bool isValid() const { return m_damage != 0; }
    // The server's times, in milliseconds, of the frames that land within the next `ms`, on a
    // display at `refreshHz`.
    std::vector<uint32_t> collect(int ms, double refreshHz);

    struct Pace {
        int frames = 0;
        double perSecond = 0;
        // Of the intervals between frames, the share longer than one and a half periods.
        double lateShare = 0;
    };
    static Pace pace(const std::vector<uint32_t> &frameTimes, double refreshHz);
    static double perSecond(const std::vector<uint32_t> &frameTimes);

private:
    testsupport::XcbConnection m_x;
    uint32_t m_damage = 0;
    uint8_t m_damageEvent = 0;
};
