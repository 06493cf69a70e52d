#include "DeviceMessages.h"

namespace hlx {

const std::array<DeviceMessage, 7> deviceMessages{{
    {"WM_GAME_START", "game-start", Link::None, false},
    {"WM_GAME_STOP", "game-stop", Link::None, false},
    {"WM_GAME_ALIVE", "game-alive", Link::None, false},
    {"WM_VORN_MONITOR_ADDED", "monitor-added", Link::Display, true},
    {"WM_VORN_MONITOR_REMOVED", "monitor-removed", Link::Display, false},
    {"WM_VORN_HID_ADDED", "hid-added", Link::Usb, true},
    {"WM_VORN_HID_REMOVED", "hid-removed", Link::Usb, false},
}};

const DeviceMessage *findDeviceMessage(std::string_view nameOrShortName) {
    for (const DeviceMessage &message : deviceMessages) {
        if (message.name == nameOrShortName || message.shortName == nameOrShortName)
            return &message;
    }
    return nullptr;
}

namespace {

const DeviceMessage *linkMessage(Link link, bool up) {
    for (const DeviceMessage &entry : deviceMessages) {
        if (entry.link == link && entry.linkUp == up)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::vector<const DeviceMessage *> messagesForCommand(std::string_view command) {
    if (command == "plug")
        return {linkMessage(Link::Display, true), linkMessage(Link::Usb, true)};
    // The reverse of plug: the USB link goes first.
    if (command == "unplug")
        return {linkMessage(Link::Usb, false), linkMessage(Link::Display, false)};
    if (const DeviceMessage *single = findDeviceMessage(command))
        return {single};
    return {};
}

std::vector<const DeviceMessage *> messagesForChange(const std::optional<Links> &before,
                                                     const Links &after) {
    const Links told = before.value_or(Links{!after.display, !after.usb});
    std::vector<const DeviceMessage *> messages;
    if (after.display && !told.display)
        messages.push_back(linkMessage(Link::Display, true));
    if (after.usb && !told.usb)
        messages.push_back(linkMessage(Link::Usb, true));
    if (!after.usb && told.usb)
        messages.push_back(linkMessage(Link::Usb, false));
    if (!after.display && told.display)
        messages.push_back(linkMessage(Link::Display, false));
    return messages;
}

} // namespace hlx
