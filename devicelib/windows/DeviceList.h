#pragma once

#include <windows.h>

#include <setupapi.h>

#include <functional>
#include <string>
#include <vector>

namespace hlx::windows {

// The devices present now of one kind, as SetupAPI lists them, with what the library reads of
// each. A snapshot: a device plugged or unplugged later needs a new list.
class DeviceList {
public:
    using Visit = std::function<void(const std::string &instanceId, SP_DEVINFO_DATA &device)>;

    // Every monitor of the monitor setup class, headsets' displays among them.
    static DeviceList presentMonitors();
    // Every device that the USB bus enumerates, whatever its class.
    static DeviceList presentUsbDevices();

    ~DeviceList();
    DeviceList(const DeviceList &) = delete;
    DeviceList &operator=(const DeviceList &) = delete;
    DeviceList(DeviceList &&other) noexcept;
    DeviceList &operator=(DeviceList &&) = delete;

    // Each device with its instance id, as in "DISPLAY\VLV91A8\1&8713bca&0&UID0".
    void forEach(const Visit &visit) const;
    // The EDID that the system keeps for a monitor in its "Device Parameters" key; empty if none.
    std::string edid(SP_DEVINFO_DATA &device) const;
    // The device's hardware ids, most specific first; none if it has none.
    std::vector<std::wstring> hardwareIds(SP_DEVINFO_DATA &device) const;

private:
    explicit DeviceList(HDEVINFO set);

    HDEVINFO m_set;
};

} // namespace hlx::windows
