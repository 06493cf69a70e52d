#include "DeviceList.h"

#include "Utf16.h"

#include <cfgmgr32.h>
#include <devguid.h>

namespace hlx::windows {

DeviceList::DeviceList(HDEVINFO set)
    : m_set(set) {}

DeviceList::DeviceList(DeviceList &&other) noexcept
    : m_set(other.m_set) {
    other.m_set = INVALID_HANDLE_VALUE;
}

DeviceList::~DeviceList() {
    if (m_set != INVALID_HANDLE_VALUE)
        SetupDiDestroyDeviceInfoList(m_set);
}

DeviceList DeviceList::presentMonitors() {
    return DeviceList(
        SetupDiGetClassDevsW(&GUID_DEVCLASS_MONITOR, nullptr, nullptr, DIGCF_PRESENT));
}

DeviceList DeviceList::presentUsbDevices() {
    return DeviceList(
        SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
}

void DeviceList::forEach(const Visit &visit) const {
    if (m_set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(m_set, index, &device); ++index) {
        wchar_t instanceId[MAX_DEVICE_ID_LEN] = {};
        if (!SetupDiGetDeviceInstanceIdW(m_set, &device, instanceId, MAX_DEVICE_ID_LEN, nullptr))
            instanceId[0] = L'\0';
        visit(toUtf8(instanceId), device);
    }
}

std::string DeviceList::edid(SP_DEVINFO_DATA &device) const {
    const HKEY key = SetupDiOpenDevRegKey(m_set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    std::string data;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"EDID", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size > 0) {
        data.resize(size);
        if (RegQueryValueExW(key, L"EDID", nullptr, &type, reinterpret_cast<BYTE *>(data.data()),
                             &size) == ERROR_SUCCESS)
            data.resize(size);
        else
            data.clear();
    }
    RegCloseKey(key);
    return data;
}

std::vector<std::wstring> DeviceList::hardwareIds(SP_DEVINFO_DATA &device) const {
    DWORD type = 0;
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(m_set, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &size);
    if (size == 0)
        return {};
    // REG_MULTI_SZ: strings one after another, each ending in a zero, the list in another.
    std::wstring buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(m_set, &device, SPDRP_HARDWAREID, &type,
                                           reinterpret_cast<BYTE *>(buffer.data()), size,
                                           nullptr) ||
        type != REG_MULTI_SZ)
        return {};
    std::vector<std::wstring> ids;
    for (const wchar_t *id = buffer.c_str(); *id != L'\0'; id += ids.back().size() + 1)
        ids.emplace_back(id);
    return ids;
}

} // namespace hlx::windows
