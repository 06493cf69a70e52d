#include "UsbLink.h"

#include "HeadsetJudge.h"
#include "UdevHandles.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace hlx::udev {

namespace {

bool isUsbDevice(udev_device *device) {
    const char *type = udev_device_get_devtype(device);
    return type && std::strcmp(type, "usb_device") == 0;
}

// PRODUCT is "vendor/product/bcdDevice" in hex without leading zeros.
bool idFromProductProperty(const char *product, headsets::HeadsetIds::Id &id) {
    if (!product)
        return false;
    char *end = nullptr;
    const unsigned long vendor = std::strtoul(product, &end, 16);
    if (end == product || *end != '/')
        return false;
    const char *productStart = end + 1;
    const unsigned long model = std::strtoul(productStart, &end, 16);
    if (end == productStart || vendor > 0xffff || model > 0xffff)
        return false;
    id = {static_cast<uint16_t>(vendor), static_cast<uint16_t>(model)};
    return true;
}

bool idOf(udev_device *device, headsets::HeadsetIds::Id &id) {
    const char *vendor = udev_device_get_sysattr_value(device, "idVendor");
    const char *product = udev_device_get_sysattr_value(device, "idProduct");
    if (vendor && product && headsets::HeadsetIds::parseHex16(vendor, id.first) &&
        headsets::HeadsetIds::parseHex16(product, id.second))
        return true;
    return idFromProductProperty(udev_device_get_property_value(device, "PRODUCT"), id);
}

} // namespace

UsbLink::UsbLink(const headsets::HeadsetIds &ids)
    : m_ids(ids) {}

void UsbLink::scan(struct ::udev *context) {
    m_present.clear();
    const UdevEnumerate enumerate(udev_enumerate_new(context));
    if (!enumerate)
        return;
    udev_enumerate_add_match_subsystem(enumerate.get(), "usb");
    forEachDevice(context, enumerate.get(), [this](udev_device *device) {
        if (judge(device).headset)
            m_present.insert(udev_device_get_syspath(device));
    });
}

void UsbLink::handle(udev_device *device) {
    if (!isUsbDevice(device))
        return;
    const char *syspath = udev_device_get_syspath(device);
    const char *action = udev_device_get_action(device);
    // A removed device's attributes are gone with it, so removal goes by path alone.
    if ((action && std::strcmp(action, "remove") == 0) || !judge(device).headset)
        m_present.erase(syspath);
    else
        m_present.insert(syspath);
}

headsets::Verdict UsbLink::judge(udev_device *device) const {
    headsets::HeadsetIds::Id id;
    if (!isUsbDevice(device) || !idOf(device, id))
        return {false, "no USB device id"};
    // As ATTRS{} in a rule: the device's own attribute, else the nearest parent's.
    const auto attribute = [device](const std::string &name) -> std::optional<std::string> {
        for (udev_device *at = device; at; at = udev_device_get_parent(at)) {
            if (const char *value = udev_device_get_sysattr_value(at, name.c_str()))
                return std::string(value);
        }
        return std::nullopt;
    };
    return headsets::HeadsetJudge(m_ids).usb(id, attribute);
}

} // namespace hlx::udev
