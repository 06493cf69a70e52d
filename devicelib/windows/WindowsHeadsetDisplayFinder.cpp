#include "HeadsetDisplayFinder.h"

#include "DeviceList.h"
#include "Edid.h"
#include "EdidIdentity.h"
#include "HeadsetIdFiles.h"
#include "HeadsetJudge.h"
#include "Utf16.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string_view>

namespace hlx {

namespace {

using windows::toUtf8;

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

// A monitor's interface name, "\\?\DISPLAY#VLV91A8#5&1f3b2c4d&0&UID4352#{e6f07b5f-…}", holds
// the instance id under which SetupAPI keeps its EDID, "DISPLAY\VLV91A8\5&1F3B2C4D&0&UID4352".
std::string instanceIdOfInterface(std::wstring_view name) {
    if (name.substr(0, 4) == L"\\\\?\\")
        name.remove_prefix(4);
    const size_t classAt = name.rfind(L"#{");
    if (classAt != std::wstring_view::npos)
        name = name.substr(0, classAt);
    std::string id = upper(toUtf8(name));
    std::replace(id.begin(), id.end(), '#', '\\');
    return id;
}

// A monitor as the display devices have it: the display it hangs on and where that is.
struct DisplayMonitor {
    std::string output;
    std::string instanceId;
    bool onDesktop = false;
    HeadsetDisplay::Rect rect;
    double refreshHz = 0;
};

BOOL CALLBACK collectMonitorDevice(HMONITOR monitor, HDC, LPRECT, LPARAM names) {
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        reinterpret_cast<std::set<std::wstring> *>(names)->insert(info.szDevice);
    return TRUE;
}

std::vector<DisplayMonitor> displayMonitors() {
    // A display counts as on the desktop only when the desktop has a monitor area on it too:
    // the attached flag alone may outlive a display just taken off.
    std::set<std::wstring> withArea;
    EnumDisplayMonitors(nullptr, nullptr, collectMonitorDevice,
                        reinterpret_cast<LPARAM>(&withArea));
    std::vector<DisplayMonitor> monitors;
    DISPLAY_DEVICEW adapter{};
    adapter.cb = sizeof adapter;
    for (DWORD a = 0; EnumDisplayDevicesW(nullptr, a, &adapter, 0); ++a) {
        if (adapter.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER)
            continue;
        DisplayMonitor base;
        base.output = toUtf8(adapter.DeviceName);
        base.onDesktop = (adapter.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) &&
                         withArea.count(adapter.DeviceName) > 0;
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        // The mode's own pixels, whatever DPI awareness the calling process has.
        if (base.onDesktop &&
            EnumDisplaySettingsW(adapter.DeviceName, ENUM_CURRENT_SETTINGS, &mode)) {
            base.rect = {int(mode.dmPosition.x), int(mode.dmPosition.y), int(mode.dmPelsWidth),
                         int(mode.dmPelsHeight)};
            // 0 and 1 stand for the hardware's default rate, which Windows does not tell.
            base.refreshHz = mode.dmDisplayFrequency > 1 ? double(mode.dmDisplayFrequency) : 0;
        }
        DISPLAY_DEVICEW monitor{};
        monitor.cb = sizeof monitor;
        for (DWORD m = 0;
             EnumDisplayDevicesW(adapter.DeviceName, m, &monitor, EDD_GET_DEVICE_INTERFACE_NAME);
             ++m) {
            DisplayMonitor entry = base;
            entry.instanceId = instanceIdOfInterface(monitor.DeviceID);
            monitors.push_back(entry);
            monitor = DISPLAY_DEVICEW{};
            monitor.cb = sizeof monitor;
        }
        adapter = DISPLAY_DEVICEW{};
        adapter.cb = sizeof adapter;
    }
    return monitors;
}

// Every present monitor device's EDID by its instance id, in upper case.
std::map<std::string, std::string> monitorEdids() {
    std::map<std::string, std::string> edids;
    const windows::DeviceList devices = windows::DeviceList::presentMonitors();
    devices.forEach([&](const std::string &instanceId, SP_DEVINFO_DATA &device) {
        edids[upper(instanceId)] = devices.edid(device);
    });
    return edids;
}

std::string headsetName(const std::string &edid, const std::string &fallback) {
    const std::optional<headsets::Edid> parsed = headsets::Edid::parse(edid);
    return parsed ? parsed->name() : fallback;
}

} // namespace

HeadsetDisplayFinder::HeadsetDisplayFinder()
    : HeadsetDisplayFinder(
          windows::HeadsetIdFiles::load(windows::HeadsetIdFiles::Problems::Ignore)) {}

HeadsetDisplayFinder::HeadsetDisplayFinder(headsets::HeadsetIds ids)
    : m_ids(std::move(ids)) {}

std::vector<HeadsetDisplay> HeadsetDisplayFinder::all() const {
    const headsets::HeadsetJudge judge(m_ids);
    std::map<std::string, std::string> edids = monitorEdids();
    std::vector<HeadsetDisplay> displays;
    for (const DisplayMonitor &monitor : displayMonitors()) {
        const auto edid = edids.find(monitor.instanceId);
        const std::string bytes = edid != edids.end() ? edid->second : std::string();
        if (edid != edids.end())
            edids.erase(edid);
        const headsets::Verdict verdict = judge.display(bytes);
        HeadsetDisplay display;
        display.output = monitor.output;
        display.identity = edidIdentity(bytes);
        display.headset = verdict.headset ? headsetName(bytes, monitor.instanceId) : "";
        if (monitor.onDesktop) {
            display.place = HeadsetDisplay::Place::Desktop;
            display.rect = monitor.rect;
            display.refreshHz = monitor.refreshHz;
            display.why = verdict.why;
        } else {
            display.place = HeadsetDisplay::Place::OffDesktop;
            display.why = verdict.headset
                              ? monitor.output + " is connected but not part of the desktop "
                                                 "(the display settings do not extend the "
                                                 "desktop to it)"
                              : verdict.why;
        }
        displays.push_back(std::move(display));
    }
    // A monitor that no display shows: Windows keeps it for a VR compositor's direct mode.
    for (const auto &[instanceId, bytes] : edids) {
        const headsets::Verdict verdict = judge.display(bytes);
        HeadsetDisplay display;
        display.place = HeadsetDisplay::Place::OffDesktop;
        display.directMode = verdict.headset;
        display.headset = verdict.headset ? headsetName(bytes, instanceId) : "";
        display.why = verdict.headset
                          ? "Windows keeps the headset's display off the desktop, for the VR "
                            "software that drives it directly (direct mode)"
                          : verdict.why;
        displays.push_back(std::move(display));
    }
    return displays;
}

} // namespace hlx
