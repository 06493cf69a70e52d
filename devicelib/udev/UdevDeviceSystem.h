#pragma once

#include "DeviceSystem.h"
#include "RandrDisplayGamma.h"
#include "RootPropertyRampStore.h"

namespace hlx::udev {

// Links read from udev, announced on the X display; the headset's display found among the X
// screen's RandR outputs.
class UdevDeviceSystem final : public DeviceSystem {
public:
    std::unique_ptr<Following> followLinks() override;
    std::optional<bool> headsetOnUsb() override;
    HeadsetDisplay headsetDisplay() override;
    DisplayGamma &gamma() override { return m_gamma; }
    OwnRampStore &ownRamps() override { return m_ownRamps; }
    std::unique_ptr<Following> watchDisplays(std::function<void()> changed) override;
    LeasedShield chooseLeasedShield(const HeadsetDisplay &display, int level) override;
    bool raiseCapturer() override;
    bool closeCapturer() override;

private:
    RandrDisplayGamma m_gamma;
    RootPropertyRampStore m_ownRamps;
};

} // namespace hlx::udev
