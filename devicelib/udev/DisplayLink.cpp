#include "DisplayLink.h"

#include "HeadsetJudge.h"
#include "UdevHandles.h"
#include "WholeFile.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace hlx::udev {

namespace {

// "card0" is a card, "card0-HDMI-A-1" one of its connectors; render nodes and others are neither.
bool isCard(const char *sysname) {
    return sysname && std::strncmp(sysname, "card", 4) == 0 && !std::strchr(sysname, '-');
}

bool isConnector(const char *sysname) {
    return sysname && std::strncmp(sysname, "card", 4) == 0 && std::strchr(sysname, '-');
}

// The card an event is about; empty if it is about neither a card nor a connector.
std::string cardPathOf(udev_device *device) {
    const char *sysname = udev_device_get_sysname(device);
    std::string syspath = udev_device_get_syspath(device);
    if (isCard(sysname))
        return syspath;
    if (isConnector(sysname))
        return syspath.substr(0, syspath.rfind('/'));
    return {};
}

} // namespace

DisplayLink::DisplayLink(const headsets::HeadsetIds &ids)
    : m_ids(ids) {}

bool DisplayLink::up() const {
    return std::any_of(m_connectors.begin(), m_connectors.end(),
                       [](const auto &connector) { return connector.second; });
}

void DisplayLink::scan(struct ::udev *context) {
    m_connectors.clear();
    const UdevEnumerate enumerate(udev_enumerate_new(context));
    if (!enumerate)
        return;
    udev_enumerate_add_match_subsystem(enumerate.get(), "drm");
    std::set<std::string> cards;
    forEachDevice(context, enumerate.get(), [&cards](udev_device *device) {
        const std::string card = cardPathOf(device);
        if (!card.empty())
            cards.insert(card);
    });
    for (const std::string &card : cards)
        rescanCard(context, card);
}

void DisplayLink::handle(struct ::udev *context, udev_device *device) {
    const std::string card = cardPathOf(device);
    if (card.empty())
        return;
    // The kernel announces a removal before sysfs lets go of the device, so what is removed is
    // forgotten rather than read again.
    const char *action = udev_device_get_action(device);
    if (action && std::strcmp(action, "remove") == 0) {
        const std::string removed = udev_device_get_syspath(device);
        if (removed == card)
            forgetCard(card);
        else
            m_connectors.erase(removed);
        return;
    }
    rescanCard(context, card);
}

void DisplayLink::forgetCard(const std::string &cardSyspath) {
    const std::string prefix = cardSyspath + '/';
    for (auto it = m_connectors.begin(); it != m_connectors.end();) {
        if (it->first.compare(0, prefix.size(), prefix) == 0)
            it = m_connectors.erase(it);
        else
            ++it;
    }
}

void DisplayLink::rescanCard(struct ::udev *context, const std::string &cardSyspath) {
    forgetCard(cardSyspath);
    const UdevDevice card(udev_device_new_from_syspath(context, cardSyspath.c_str()));
    const UdevEnumerate enumerate(udev_enumerate_new(context));
    if (!card || !enumerate)
        return;
    udev_enumerate_add_match_subsystem(enumerate.get(), "drm");
    udev_enumerate_add_match_parent(enumerate.get(), card.get());
    forEachDevice(context, enumerate.get(), [this](udev_device *connector) {
        if (isConnector(udev_device_get_sysname(connector)))
            m_connectors[udev_device_get_syspath(connector)] = judge(connector).headset;
    });
}

headsets::Verdict DisplayLink::judge(udev_device *connector) const {
    const char *status = udev_device_get_sysattr_value(connector, "status");
    if (!status || std::strncmp(status, "connected", 9) != 0)
        return {false, "nothing connected"};
    // Binary, so read as a file: libudev's attribute values end at the first zero byte. A
    // connector that cannot say is judged as one that says nothing.
    std::string data;
    if (!readWholeFile(std::string(udev_device_get_syspath(connector)) + "/edid", data))
        data.clear();
    return headsets::HeadsetJudge(m_ids).display(data);
}

} // namespace hlx::udev
