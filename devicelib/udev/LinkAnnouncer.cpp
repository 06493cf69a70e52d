#include "LinkAnnouncer.h"

#include "MessageSender.h"
#include "XConnection.h"

namespace hlx::udev {

bool LinkAnnouncer::announce(const std::vector<const DeviceMessage *> &messages) {
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
