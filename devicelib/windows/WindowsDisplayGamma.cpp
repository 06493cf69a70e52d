#include "WindowsDisplayGamma.h"

#include "Utf16.h"

#include <array>
#include <cstdlib>

namespace hlx::windows {

namespace {

using Table = std::array<WORD, 3 * WindowsDisplayGamma::rampSize>;

HDC openDisplay(const std::wstring &device) {
    return CreateDCW(L"DISPLAY", device.c_str(), nullptr, nullptr);
}

// The table of the display's context, or nothing if the display has none or refused it.
template <typename Use>
bool withDisplay(const WindowsDisplayGamma::Open &open, const std::string &output, Use use) {
    if (output.empty())
        return false;
    const HDC context = open(toUtf16(output));
    if (!context)
        return false;
    const bool done = use(context);
    DeleteDC(context);
    return done;
}

} // namespace

WindowsDisplayGamma::WindowsDisplayGamma()
    : WindowsDisplayGamma(openDisplay) {}

WindowsDisplayGamma::WindowsDisplayGamma(Open open)
    : m_open(std::move(open)) {}

bool WindowsDisplayGamma::withinRange(const GammaRamp &ramp, int range) {
    if (ramp.size() != rampSize || ramp.green.size() != rampSize || ramp.blue.size() != rampSize)
        return false;
    for (size_t i = 0; i < rampSize; ++i) {
        for (const std::vector<uint16_t> *channel : {&ramp.red, &ramp.green, &ramp.blue}) {
            if (std::abs(int((*channel)[i] >> 8) - int(i)) > range)
                return false;
        }
    }
    return true;
}

int WindowsDisplayGamma::machineRange() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM",
                     L"GdiIcmGammaRange", RRF_RT_REG_DWORD, nullptr, &value,
                     &size) == ERROR_SUCCESS &&
        value >= defaultRange)
        return value >= 256 ? 256 : int(value);
    return defaultRange;
}

std::optional<GammaRamp> WindowsDisplayGamma::read(const std::string &output) {
    Table table{};
    if (!withDisplay(m_open, output,
                     [&](HDC context) { return GetDeviceGammaRamp(context, table.data()); }))
        return std::nullopt;
    GammaRamp ramp;
    ramp.red.assign(table.begin(), table.begin() + rampSize);
    ramp.green.assign(table.begin() + rampSize, table.begin() + 2 * rampSize);
    ramp.blue.assign(table.begin() + 2 * rampSize, table.end());
    return ramp;
}

bool WindowsDisplayGamma::write(const std::string &output, const GammaRamp &ramp) {
    if (!withinRange(ramp, machineRange()))
        return false;
    Table table{};
    std::copy(ramp.red.begin(), ramp.red.end(), table.begin());
    std::copy(ramp.green.begin(), ramp.green.end(), table.begin() + rampSize);
    std::copy(ramp.blue.begin(), ramp.blue.end(), table.begin() + 2 * rampSize);
    return withDisplay(m_open, output, [&](HDC context) {
        if (!SetDeviceGammaRamp(context, table.data()))
            return false;
        Table written{};
        return GetDeviceGammaRamp(context, written.data()) &&
               GammaRamp::fromChannels(written.data(), written.size())
                   ->matches(ramp, readBackTolerance());
    });
}

} // namespace hlx::windows
