#include "DeviceRequests.h"

#include "EdidSample.h"
#include "UtilityProcess.h"

#include <setupapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// GUID_DEVCLASS_MONITOR of devguid.h, spelled out so that no object file has to define it.
constexpr GUID monitorClass = {
    0x4d36e96e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::vector<std::vector<uint8_t>> monitorEdids() {
    std::vector<std::vector<uint8_t>> edids;
    HDEVINFO set = SetupDiGetClassDevsW(&monitorClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return edids;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        std::vector<uint8_t> edid(4096);
        DWORD size = DWORD(edid.size());
        if (RegQueryValueExW(key, L"EDID", nullptr, nullptr, edid.data(), &size) == ERROR_SUCCESS) {
            edid.resize(size);
            edids.push_back(edid);
        }
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
    return edids;
}

} // namespace

namespace support {

fs::path harnessFolder(const char *variable) {
    const char *value = std::getenv(variable);
    return value ? fs::path("Z:" + std::string(value)) : fs::path();
}

fs::path deviceData() {
    return harnessFolder("HLX_DEVICE_DATA");
}

bool monitorCarries(const std::string &edidWord) {
    const std::vector<uint8_t> bytes = EdidSample::fromHexFile((deviceData() / edidWord).string());
    const auto edids = monitorEdids();
    return !bytes.empty() && std::find(edids.begin(), edids.end(), bytes) != edids.end();
}

bool changeEdid(const std::string &edidWord) {
    const fs::path requests = harnessFolder("HLX_DEVICE_REQUESTS");
    std::ofstream(requests / "edid.new") << edidWord;
    fs::rename(requests / "edid.new", requests / "edid");
    if (!waitFor(10000, [&] { return fs::exists(requests / "edid.done"); }))
        return false;
    fs::remove(requests / "edid.done");
    return waitFor(10000, [&] { return edidWord.empty() || monitorCarries(edidWord); });
}

std::vector<unsigned> screenGammaTop() {
    const fs::path requests = harnessFolder("HLX_DEVICE_REQUESTS");
    std::ofstream(requests / "gamma");
    if (!waitFor(10000, [&] { return fs::exists(requests / "gamma.done"); }))
        return {};
    fs::remove(requests / "gamma.done");
    std::vector<unsigned> top;
    std::ifstream out(requests / "gamma.out");
    for (unsigned value = 0; out >> value;)
        top.push_back(value);
    return top.size() == 4 ? top : std::vector<unsigned>();
}

UINT registeredLinkMessage(hlx::Link link, bool up) {
    for (const hlx::DeviceMessage &message : hlx::deviceMessages) {
        if (message.link == link && message.linkUp == up)
            return RegisterWindowMessageA(std::string(message.name).c_str());
    }
    return 0;
}

} // namespace support
