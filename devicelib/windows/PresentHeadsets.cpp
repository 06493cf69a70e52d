#include "PresentHeadsets.h"

#include "DeviceList.h"
#include "HeadsetJudge.h"
#include "Utf16.h"

#include <optional>
#include <string_view>

namespace hlx::windows {

namespace {

// "USB\VID_28DE&PID_2613&REV_0100" or "USB\VID_28DE&PID_2613": vendor and product in hex.
std::optional<headsets::HeadsetIds::Id> usbIdOf(const std::wstring &hardwareId) {
    const std::string text = toUtf8(hardwareId);
    const std::string_view id(text);
    const size_t vendorAt = id.find("VID_");
    if (vendorAt == std::string_view::npos || id.size() < vendorAt + 17 ||
        id.substr(vendorAt + 8, 5) != "&PID_")
        return std::nullopt;
    headsets::HeadsetIds::Id parsed;
    if (!headsets::HeadsetIds::parseHex16(id.substr(vendorAt + 4, 4), parsed.first) ||
        !headsets::HeadsetIds::parseHex16(id.substr(vendorAt + 13, 4), parsed.second))
        return std::nullopt;
    return parsed;
}

bool isInterfaceOfCompositeDevice(const std::string &instanceId) {
    return instanceId.find("&MI_") != std::string::npos;
}

} // namespace

bool headsetDisplayPresent(const headsets::HeadsetIds &ids, const VerdictSeen &seen) {
    const headsets::HeadsetJudge judge(ids);
    const DeviceList monitors = DeviceList::presentMonitors();
    bool up = false;
    monitors.forEach([&](const std::string &instanceId, SP_DEVINFO_DATA &device) {
        const headsets::Verdict verdict = judge.display(monitors.edid(device));
        up = up || verdict.headset;
        if (seen)
            seen(instanceId, verdict);
    });
    return up;
}

bool headsetUsbPresent(const headsets::HeadsetIds &ids, const VerdictSeen &seen) {
    const headsets::HeadsetJudge judge(ids);
    // Windows has no udev rules whose further conditions could be asked about.
    const headsets::HeadsetIds::AttributeLookup noAttributes =
        [](const std::string &) -> std::optional<std::string> { return std::nullopt; };
    const DeviceList devices = DeviceList::presentUsbDevices();
    bool up = false;
    devices.forEach([&](const std::string &instanceId, SP_DEVINFO_DATA &device) {
        if (isInterfaceOfCompositeDevice(instanceId))
            return;
        std::optional<headsets::HeadsetIds::Id> id;
        for (const std::wstring &hardwareId : devices.hardwareIds(device)) {
            if ((id = usbIdOf(hardwareId)))
                break;
        }
        const headsets::Verdict verdict =
            id ? judge.usb(*id, noAttributes) : headsets::Verdict{false, "no USB device id"};
        up = up || verdict.headset;
        if (seen)
            seen(instanceId, verdict);
    });
    return up;
}

} // namespace hlx::windows
