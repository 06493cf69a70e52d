#pragma once

#include "DeviceSystem.h"
#include "XConnection.h"

#include <functional>
#include <thread>

namespace hlx {

// Tells of every change of the X screen's outputs and CRTCs (a display plugged or unplugged, a
// new mode), from a thread that sleeps until the server reports one.
class RandrDisplayWatch final : public DeviceSystem::Following {
public:
    explicit RandrDisplayWatch(std::function<void()> changed);
    ~RandrDisplayWatch() override;

    // False if the display or its RandR cannot be reached.
    bool start();

private:
    void run();

    std::function<void()> m_changed;
    XConnection m_connection;
    uint8_t m_firstRandrEvent = 0;
    // Written to end the thread's wait.
    int m_wakeUp[2] = {-1, -1};
    std::thread m_thread;
};

} // namespace hlx
