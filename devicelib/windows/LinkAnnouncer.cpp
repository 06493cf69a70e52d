#include "LinkAnnouncer.h"

#include "DeviceMessages.h"

#include <windows.h>

#include <string>
#include <vector>

namespace hlx::windows {

namespace {

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

void LinkAnnouncer::announce(const std::vector<const DeviceMessage *> &changes, Audience audience) {
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
