#include "HLX.h"

#include "DetachedLauncher.h"
#include "SimulatedHeadset.h"
#include "XConnection.h"

#include <mutex>
#include <optional>
#include <string>

namespace {

std::mutex stateMutex;
std::optional<std::string> capturerPath;

constexpr int ok = 0;
constexpr int failed = -1;
constexpr int unavailable = -2;

// Opens a connection per call, so that every call sees the headset as hlx-device left it just
// before, and a display that went away costs nothing but the failed call.
bool usbLinkUp() {
    hlx::XConnection connection(nullptr);
    return connection.isValid() && hlx::SimulatedHeadset(connection).links().usb;
}

} // namespace

extern "C" {

int HLX_Init(void) {
    return ok;
}

int HLX_Deinit(void) {
    return ok;
}

int HLX_SetDisplayCapturerPath(const char *utf8Path) {
    const std::lock_guard<std::mutex> lock(stateMutex);
    if (utf8Path)
        capturerPath = utf8Path;
    else
        capturerPath.reset();
    return ok;
}

int HLX_StartDisplayCapturer(void) {
    std::optional<std::string> path;
    {
        const std::lock_guard<std::mutex> lock(stateMutex);
        path = capturerPath;
    }
    if (!path)
        return unavailable;
    switch (hlx::DetachedLauncher::start(*path)) {
    case hlx::DetachedLauncher::Result::Started:
        return ok;
    case hlx::DetachedLauncher::Result::Missing:
        return unavailable;
    case hlx::DetachedLauncher::Result::Failed:
        break;
    }
    return failed;
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
    if (!name)
        return 0;
    hlx::XConnection connection(nullptr);
    return connection.internAtom(name);
}

} // extern "C"
