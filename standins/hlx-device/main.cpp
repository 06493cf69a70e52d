#include "CommandLine.h"
#include "MessageSender.h"
#include "SimulatedHeadset.h"
#include "XConnection.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

void updateLink(hlx::SimulatedHeadset &headset, const hlx::DeviceMessage &message) {
    hlx::HeadsetLinks links = headset.links();
    if (message.link == hlx::Link::Display)
        links.display = message.linkUp;
    else
        links.usb = message.linkUp;
    headset.setLinks(links);
}

void printStatus(hlx::SimulatedHeadset &headset) {
    const hlx::HeadsetLinks links = headset.links();
    std::cout << "display: " << (links.display ? "plugged" : "unplugged") << '\n'
              << "usb: " << (links.usb ? "plugged" : "unplugged") << '\n'
              << std::flush;
}

std::string describeDisplay(const char *name) {
    if (name)
        return "'" + std::string(name) + "'";
    const char *fromEnvironment = std::getenv("DISPLAY");
    return fromEnvironment ? "'" + std::string(fromEnvironment) + "' (from $DISPLAY)"
                           : "(DISPLAY is not set)";
}

} // namespace

int main(int argc, char *argv[]) {
    const hlx::CommandLine commandLine = hlx::CommandLine::parse(argc, argv);
    switch (commandLine.action()) {
    case hlx::CommandLine::Action::Help:
        std::cout << hlx::CommandLine::usage();
        return 0;
    case hlx::CommandLine::Action::UsageError:
        std::cerr << "hlx-device: " << commandLine.error() << "\n\n" << hlx::CommandLine::usage();
        return 2;
    case hlx::CommandLine::Action::Run:
        break;
    }

    hlx::XConnection connection(commandLine.displayName());
    if (!connection.isValid()) {
        std::cerr << "hlx-device: cannot open X display "
                  << describeDisplay(commandLine.displayName()) << '\n';
        return 1;
    }
    hlx::SimulatedHeadset headset(connection);
    hlx::MessageSender sender(connection);
    for (const hlx::CommandLine::Command &command : commandLine.commands()) {
        if (command.messages.empty()) {
            printStatus(headset);
            continue;
        }
        for (int i = 0; i < commandLine.repeat(); ++i) {
            for (const hlx::DeviceMessage *message : command.messages) {
                // Whoever reacts to the message asks libHLX.so about the link at once, so the
                // link must already be in its new state when the message arrives.
                if (message->link != hlx::Link::None)
                    updateLink(headset, *message);
                sender.send(connection.internAtom(message->name));
            }
        }
    }
    // Events still in xcb's buffer or the server's queue are lost if the connection closes first.
    if (!connection.sync()) {
        std::cerr << "hlx-device: lost the connection to X display "
                  << describeDisplay(commandLine.displayName()) << '\n';
        return 1;
    }
    return 0;
}
