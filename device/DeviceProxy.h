#pragma once

#include "EventHandler.h"
#include "Singleton.h"

// The first handler of the event chain, standing for the device in front of the window.
// It reacts to nothing yet and passes nothing on.
class DeviceProxy : public Singleton<DeviceProxy>, public EventHandler {
public:
    ~DeviceProxy() override = default;

    void handleEvent(Event *&event) override;

private:
    friend class Singleton<DeviceProxy>;
    DeviceProxy() = default;
};
