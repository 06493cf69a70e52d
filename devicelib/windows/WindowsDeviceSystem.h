#pragma once

#include "DeviceSystem.h"
#include "SessionRegistryRampStore.h"

#include <memory>

namespace hlx::windows {

// Links read from SetupAPI, announced as registered window messages; the headset's display
// among the display devices, its colours through GDI.
class WindowsDeviceSystem final : public DeviceSystem {
public:
    // The capturer marks its top-level window with this property, so that a second start finds
    // it rather than starting another.
    static constexpr const wchar_t *capturerMark = L"HLX_DisplayCapturer";

    WindowsDeviceSystem();
    // Tests give a table of their own that watches which display it is asked for.
    explicit WindowsDeviceSystem(std::unique_ptr<DisplayGamma> gamma);

    std::unique_ptr<Following> followLinks() override;
    std::optional<bool> headsetOnUsb() override;
    HeadsetDisplay headsetDisplay() override;
    DisplayGamma &gamma() override;
    OwnRampStore &ownRamps() override { return m_ownRamps; }
    std::unique_ptr<Following> watchDisplays(std::function<void()> changed) override;
    bool raiseCapturer() override;
    bool closeCapturer() override;

private:
    std::unique_ptr<DisplayGamma> m_gamma;
    SessionRegistryRampStore m_ownRamps;
};

} // namespace hlx::windows
