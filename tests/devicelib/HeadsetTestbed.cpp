// umockdev's header pulls in GLib, whose field names clash with Qt's keywords; this file keeps to
// the standard library.
#include <umockdev.h>

#include "HeadsetTestbed.h"

#include <algorithm>
#include <cstdio>

#include <glob.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string taken(gchar *text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

} // namespace

HeadsetTestbed::HeadsetTestbed()
    : m_testbed(umockdev_testbed_new())
    , m_root(taken(umockdev_testbed_get_root_dir(m_testbed))) {}

HeadsetTestbed::~HeadsetTestbed() {
    g_object_unref(m_testbed);
}

std::string HeadsetTestbed::rootDir() const {
    return m_root;
}

std::string HeadsetTestbed::addDevice(const char *subsystem, const std::string &name,
                                      const std::string &parent,
                                      const std::vector<const char *> &attributes,
                                      const std::vector<const char *> &properties) {
    std::vector<const char *> attributeList = attributes;
    attributeList.push_back(nullptr);
    std::vector<const char *> propertyList = properties;
    propertyList.push_back(nullptr);
    // umockdev announces a device it adds with an "add" of its own.
    waitForRoomAtListeners();
    return taken(umockdev_testbed_add_devicev(
        m_testbed, subsystem, name.c_str(), parent.empty() ? nullptr : parent.c_str(),
        const_cast<gchar **>(attributeList.data()), const_cast<gchar **>(propertyList.data())));
}

void HeadsetTestbed::uevent(const std::string &device, const char *action) {
    waitForRoomAtListeners();
    umockdev_testbed_uevent(m_testbed, device.c_str(), action);
}

// umockdev binds each listener's socket at <root>/event<fd> and hands it every uevent without
// waiting; a full one (net.unix.max_dgram_qlen datagrams, 10 by default) ends this whole process.
// A datagram socket connected to the listener's polls writable once its queue has room again, as
// long as a listener takes to read one.
void HeadsetTestbed::waitForRoomAtListeners() {
    glob_t found{};
    if (::glob((m_root + "/event[0-9]*").c_str(), GLOB_NOSORT, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; ++i) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s", found.gl_pathv[i]);
            const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            // A listener that has gone refuses the connection; umockdev then forgets it.
            if (probe >= 0 &&
                ::connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
                pollfd room{probe, POLLOUT, 0};
                ::poll(&room, 1, 10000);
            }
            if (probe >= 0)
                ::close(probe);
        }
    }
    ::globfree(&found);
}

std::string HeadsetTestbed::plugUsb(uint16_t vendor, uint16_t product, int interfaces,
                                    const std::string &name) {
    const std::string port = "1-" + std::to_string(m_nextUsbPort++);
    const std::string vendorText = hex4(vendor);
    const std::string productText = hex4(product);
    char productProperty[32];
    std::snprintf(productProperty, sizeof productProperty, "%x/%x/100", unsigned(vendor),
                  unsigned(product));
    std::vector<const char *> attributes = {"idVendor", vendorText.c_str(), "idProduct",
                                            productText.c_str()};
    if (!name.empty())
        attributes.insert(attributes.end(), {"product", name.c_str()});
    std::string device = addDevice("usb", port, "", attributes,
                                   {"DEVTYPE", "usb_device", "PRODUCT", productProperty});
    std::vector<std::string> added;
    for (int i = 0; i < interfaces; ++i) {
        const std::string number = std::to_string(i);
        std::string interfaceName = port;
        interfaceName.append(":1.").append(number);
        added.push_back(addDevice("usb", interfaceName, device,
                                  {"bInterfaceNumber", number.c_str()},
                                  {"DEVTYPE", "usb_interface", "PRODUCT", productProperty}));
    }
    uevent(device, "add");
    for (const std::string &interface : added)
        uevent(interface, "add");
    for (const std::string &interface : added)
        uevent(interface, "bind");
    uevent(device, "bind");
    m_usbDevices.push_back(device);
    m_interfaces.push_back(added);
    return device;
}

void HeadsetTestbed::unplugUsb(const std::string &device) {
    const auto found = std::find(m_usbDevices.begin(), m_usbDevices.end(), device);
    if (found == m_usbDevices.end())
        return;
    const size_t index = size_t(found - m_usbDevices.begin());
    for (const std::string &interface : m_interfaces[index]) {
        uevent(interface, "unbind");
        uevent(interface, "remove");
    }
    uevent(device, "unbind");
    uevent(device, "remove");
    // The kernel's removal event is sent while the device is still described.
    waitForRoomAtListeners();
    umockdev_testbed_remove_device(m_testbed, device.c_str());
    m_usbDevices.erase(found);
    m_interfaces.erase(m_interfaces.begin() + std::ptrdiff_t(index));
}

std::string HeadsetTestbed::addCard(const std::string &name) {
    std::string card = addDevice("drm", name, "", {"dev", "226:0"}, {"DEVTYPE", "drm_minor"});
    uevent(card, "add");
    return card;
}

std::string HeadsetTestbed::addConnector(const std::string &card, const std::string &name) {
    std::string connector =
        addDevice("drm", name, card, {"status", "disconnected", "enabled", "disabled"},
                  {"DEVTYPE", "drm_connector"});
    uevent(connector, "add");
    return connector;
}

void HeadsetTestbed::setConnector(const std::string &connector, bool connected,
                                  const std::vector<uint8_t> &edid) {
    umockdev_testbed_set_attribute(m_testbed, connector.c_str(), "status",
                                   connected ? "connected" : "disconnected");
    umockdev_testbed_set_attribute(m_testbed, connector.c_str(), "enabled",
                                   connected ? "enabled" : "disabled");
    umockdev_testbed_set_attribute_binary(m_testbed, connector.c_str(), "edid",
                                          const_cast<guint8 *>(edid.data()), gint(edid.size()));
    uevent(connector.substr(0, connector.rfind('/')), "change");
}

void HeadsetTestbed::setConnectorId(const std::string &connector, uint32_t connectorId) {
    umockdev_testbed_set_attribute(m_testbed, connector.c_str(), "connector_id",
                                   std::to_string(connectorId).c_str());
}

void HeadsetTestbed::removeCard(const std::string &card) {
    uevent(card, "remove");
    waitForRoomAtListeners();
    umockdev_testbed_remove_device(m_testbed, card.c_str());
}

void HeadsetTestbed::clear() {
    umockdev_testbed_clear(m_testbed);
    m_usbDevices.clear();
    m_interfaces.clear();
}
