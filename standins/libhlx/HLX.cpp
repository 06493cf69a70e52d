#include "HLX.h"

#include "DeviceMessages.h"
#include "DisplayCapturer.h"
#include "EntryResults.h"
#include "MessageSender.h"
#include "SimulatedHeadset.h"
#include "XConnection.h"

#include <unistd.h>

#include <mutex>

namespace {

using hlx::entryResult::ok;
using hlx::entryResult::unavailable;

std::mutex stateMutex;
bool announced = false;
hlx::DisplayCapturer capturer;

// Opens a connection per call, so that every call sees the headset as hlx-device left it just
// before, and a display that went away costs nothing but the failed call.
bool usbLinkUp() {
    hlx::XConnection connection(nullptr);
    return connection.isValid() && hlx::SimulatedHeadset(connection).links().usb;
}

// The device side sends its messages when a link changes, so a program that starts after the
// headset was plugged in would never hear of it: the library tells its own program, in the
// order of a plug, with the same messages.
void announceLinksAlreadyUp() {
    hlx::XConnection connection(nullptr);
    if (!connection.isValid())
        return;
    // With the server held, hlx-device cannot change a link between the reading and the
    // sending, so the announcement never arrives after a newer message it contradicts.
    xcb_grab_server(connection.get());
    const hlx::HeadsetLinks links = hlx::SimulatedHeadset(connection).links();
    hlx::MessageSender sender(connection, static_cast<std::uint32_t>(getpid()));
    for (const hlx::DeviceMessage *message : hlx::messagesForCommand("plug")) {
        const bool up = message->link == hlx::Link::Display ? links.display : links.usb;
        if (up)
            sender.send(connection.internAtom(message->name));
    }
    xcb_ungrab_server(connection.get());
    // Events still in xcb's buffer are lost if the connection closes first.
    connection.sync();
}

} // namespace

extern "C" {

int HLX_Init(void) {
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        if (announced)
            return ok;
        announced = true;
    }
    announceLinksAlreadyUp();
    return ok;
}

int HLX_Deinit(void) {
    return ok;
}

int HLX_SetDisplayCapturerPath(const char *utf8Path) {
    capturer.setPath(utf8Path);
    return ok;
}

int HLX_StartDisplayCapturer(void) {
    return capturer.start();
}

int HLX_StopDisplayCapturer(void) {
    return ok;
}

int HLX_EnableEyeshield([[maybe_unused]] int level) {
    return usbLinkUp() ? ok : unavailable;
}

int HLX_DisableEyeshield(void) {
    return usbLinkUp() ? ok : unavailable;
}

uint32_t HLX_GetWindowMessage(const char *name) {
    return hlx::atomOnDefaultDisplay(name);
}

} // extern "C"
