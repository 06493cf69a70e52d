#include "Broadcaster.h"
#include "DeviceMessages.h"

#include <cstring>
#include <iostream>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: hlx-device [--wait] COMMAND...\n"
    "\n"
    "Plays the headset's side on Windows: broadcasts the device messages, registered by name,\n"
    "to every top-level window of the session, hidden ones included.\n"
    "\n"
    "Commands:\n"
    "  plug              monitor-added, then hid-added\n"
    "  unplug            hid-removed, then monitor-removed\n"
    "  NAME              one message, by its full name (WM_VORN_HID_ADDED) or short name:\n"
    "                    game-start game-stop game-alive monitor-added monitor-removed\n"
    "                    hid-added hid-removed\n"
    "\n"
    "Options:\n"
    "  --wait            return only once every window has handled each message\n"
    "\n"
    "Exit status: 0 on success, 1 if a message could not be sent, 2 on a usage error.\n";

} // namespace

int main(int argc, char *argv[]) {
    bool wait = false;
    std::vector<std::string_view> names;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::cout << kUsage;
            return 0;
        }
        if (std::strcmp(argv[i], "--wait") == 0) {
            wait = true;
            continue;
        }
        const std::vector<const hlx::DeviceMessage *> messages = hlx::messagesForCommand(argv[i]);
        if (messages.empty()) {
            std::cerr << "hlx-device: unknown command '" << argv[i] << "'\n\n" << kUsage;
            return 2;
        }
        for (const hlx::DeviceMessage *message : messages)
            names.push_back(message->name);
    }
    if (names.empty()) {
        std::cerr << "hlx-device: no command given\n\n" << kUsage;
        return 2;
    }

    const hlx::Broadcaster broadcaster(wait);
    for (std::string_view name : names) {
        if (!broadcaster.send(name)) {
            std::cerr << "hlx-device: could not send " << name << '\n';
            return 1;
        }
    }
    return 0;
}
