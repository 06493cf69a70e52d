#pragma once

#include "NamedConstants.h"

#include <array>

// The device side's window messages. The order is fixed: it is the order in which they are
// registered and the order in which an incoming message is compared, lowest index first.
enum DeviceMessage : int {
    GameStart,
    GameStop,
    GameAlive,
    MonitorAdded,
    MonitorRemoved,
    HidAdded,
    HidRemoved,
};

inline constexpr int kDeviceMessageCount = HidRemoved + 1;

inline constexpr std::array<const char *, kDeviceMessageCount> kDeviceMessageNames = {
    hlx::kMsgGameStart,      hlx::kMsgGameStop, hlx::kMsgGameAlive,  hlx::kMsgMonitorAdded,
    hlx::kMsgMonitorRemoved, hlx::kMsgHidAdded, hlx::kMsgHidRemoved,
};
