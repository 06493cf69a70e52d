#include "LinkAnnouncer.h"

#include "DeviceMessages.h"

#include <windows.h>

#include <string>
#include <vector>

namespace hlx::windows {

namespace {

const DeviceMessage *messageFor(Link link, bool up) {
    for (const DeviceMessage &message : deviceMessages) {
        if (message.link == link && message.linkUp == up)
            return &message;
    }
    return nullptr;
}

BOOL CALLBACK postToOwnWindow(HWND window, LPARAM messages) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        for (const UINT message : *reinterpret_cast<const std::vector<UINT> *>(messages))
            PostMessageW(window, message, 0, 0);
    }
    return TRUE;
}

} // namespace

void LinkAnnouncer::announceChanges(const Links &before, const Links &after, Audience audience) {
    std::vector<const DeviceMessage *> changes;
    if (after.display && !before.display)
        changes.push_back(messageFor(Link::Display, true));
    if (after.usb && !before.usb)
        changes.push_back(messageFor(Link::Usb, true));
    if (!after.usb && before.usb)
        changes.push_back(messageFor(Link::Usb, false));
    if (!after.display && before.display)
        changes.push_back(messageFor(Link::Display, false));

    std::vector<UINT> messages;
    for (const DeviceMessage *change : changes) {
        if (const UINT message = RegisterWindowMessageA(std::string(change->name).c_str()))
            messages.push_back(message);
    }
    if (messages.empty())
        return;
    if (audience == Audience::AllWindows) {
        for (const UINT message : messages)
            PostMessageW(HWND_BROADCAST, message, 0, 0);
    } else {
        EnumWindows(postToOwnWindow, reinterpret_cast<LPARAM>(&messages));
    }
}

} // namespace hlx::windows
