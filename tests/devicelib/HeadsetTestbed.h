#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

// A umockdev testbed with the kernel's view of a headset: USB devices with their interfaces, and
// DRM cards with connectors whose status and EDID change. Every change sends the uevents the kernel
// sends for it, each once every listener has room for it, so that a burst goes as fast as the
// slowest listener reads. Programs see the testbed through umockdev's preload library and
// $UMOCKDEV_DIR, which the testbed sets in this process's environment for the processes it starts.
class HeadsetTestbed {
public:
    HeadsetTestbed();
    ~HeadsetTestbed();
    HeadsetTestbed(const HeadsetTestbed &) = delete;
    HeadsetTestbed &operator=(const HeadsetTestbed &) = delete;

    std::string rootDir() const;

    // "add" and "bind" for the device, then for each interface: what one plug sends. The name is
    // the device's "product" attribute, if any.
    std::string plugUsb(uint16_t vendor, uint16_t product, int interfaces = 1,
                        const std::string &name = {});
    // "unbind" and "remove" for the interfaces, then for the device.
    void unplugUsb(const std::string &device);

    std::string addCard(const std::string &name);
    std::string addConnector(const std::string &card, const std::string &name);
    // Sets status and EDID, then sends the card's hot-plug "change", as the kernel does once per
    // card whatever changed. An empty EDID leaves the connector without one.
    void setConnector(const std::string &connector, bool connected,
                      const std::vector<uint8_t> &edid);
    // The connector's DRM id in sysfs, as newer kernels give it.
    void setConnectorId(const std::string &connector, uint32_t connectorId);
    void removeCard(const std::string &card);

    // Takes every device away without a single event, for the next case to start from nothing.
    void clear();

private:
    std::string addDevice(const char *subsystem, const std::string &name, const std::string &parent,
                          const std::vector<const char *> &attributes,
                          const std::vector<const char *> &properties);
    void uevent(const std::string &device, const char *action);
    void waitForRoomAtListeners();

    UMockdevTestbed *m_testbed = nullptr;
    std::string m_root;
    std::vector<std::vector<std::string>> m_interfaces;
    std::vector<std::string> m_usbDevices;
    int m_nextUsbPort = 1;
};
