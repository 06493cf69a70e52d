#include "LinkAnnouncer.h"

#include "DeviceMessages.h"
#include "MessageSender.h"
#include "XConnection.h"

#include <vector>

namespace hlx::udev {

namespace {

const DeviceMessage *messageFor(Link link, bool up) {
    for (const DeviceMessage &message : deviceMessages) {
        if (message.link == link && message.linkUp == up)
            return &message;
    }
    return nullptr;
}

} // namespace

bool LinkAnnouncer::announceChanges(const Links &before, const Links &after) {
    std::vector<const DeviceMessage *> messages;
    if (after.display && !before.display)
        messages.push_back(messageFor(Link::Display, true));
    if (after.usb && !before.usb)
        messages.push_back(messageFor(Link::Usb, true));
    if (!after.usb && before.usb)
        messages.push_back(messageFor(Link::Usb, false));
    if (!after.display && before.display)
        messages.push_back(messageFor(Link::Display, false));
    if (messages.empty())
        return true;

    XConnection connection(nullptr);
    if (!connection.isValid())
        return false;
    MessageSender sender(connection);
    for (const DeviceMessage *message : messages)
        sender.send(connection.internAtom(message->name));
    // Events still queued are lost if the connection closes before the server has them.
    return connection.sync();
}

} // namespace hlx::udev
