#pragma once

#include "DisplayGamma.h"

#include <windows.h>

#include <functional>

namespace hlx::windows {

// A display's colour lookup table through GDI, on a device context of the display that Windows
// names the output ("\\.\DISPLAY2").
class WindowsDisplayGamma final : public DisplayGamma {
public:
    // GDI's tables always have this many entries per channel.
    static constexpr size_t rampSize = 256;
    // How far, in 8-bit steps, an entry may lie from the identity before Windows refuses the
    // table, unless the machine's GdiIcmGammaRange setting widens it to 256.
    static constexpr int defaultRange = 128;

    // Opens a device context on the display that Windows names `device`; null if it cannot.
    using Open = std::function<HDC(const std::wstring &device)>;

    WindowsDisplayGamma();
    // Tests watch which display's context is opened through `open`.
    explicit WindowsDisplayGamma(Open open);

    // Whether Windows takes `ramp` with `range` (GdiIcmGammaRange's value, or defaultRange).
    static bool withinRange(const GammaRamp &ramp, int range);
    // GdiIcmGammaRange as this machine has it.
    static int machineRange();

    std::optional<GammaRamp> read(const std::string &output) override;
    // Refuses at once a table that Windows would ignore, since Windows may report success for
    // it; and takes a table as written only when reading it back gives it.
    bool write(const std::string &output, const GammaRamp &ramp) override;
    // One of GDI's 256 levels: a driver may keep as few as 8 bits of each entry.
    int readBackTolerance() const override { return 256; }

private:
    Open m_open;
};

} // namespace hlx::windows
