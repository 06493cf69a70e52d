#include "WindowsDeviceSystem.h"

#include "DisplayWatcher.h"
#include "HeadsetDisplayFinder.h"
#include "HeadsetIdFiles.h"
#include "LinkWatcher.h"
#include "PresentHeadsets.h"
#include "WindowsDisplayGamma.h"

#include <windows.h>

namespace hlx::windows {

namespace {

BOOL CALLBACK findMarked(HWND window, LPARAM found) {
    if (!GetPropW(window, WindowsDeviceSystem::capturerMark))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

// The capturer's window in this desktop; null when none runs.
HWND capturerWindow() {
    HWND found = nullptr;
    EnumWindows(findMarked, reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

WindowsDeviceSystem::WindowsDeviceSystem()
    : WindowsDeviceSystem(std::make_unique<WindowsDisplayGamma>()) {}

WindowsDeviceSystem::WindowsDeviceSystem(std::unique_ptr<DisplayGamma> gamma)
    : m_gamma(std::move(gamma)) {}

std::unique_ptr<DeviceSystem::Following> WindowsDeviceSystem::followLinks() {
    auto watcher =
        std::make_unique<LinkWatcher>(HeadsetIdFiles::load(HeadsetIdFiles::Problems::ToDebugger));
    if (!watcher->start())
        return nullptr;
    return watcher;
}

std::optional<bool> WindowsDeviceSystem::headsetOnUsb() {
    return headsetUsbPresent(HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore));
}

HeadsetDisplay WindowsDeviceSystem::headsetDisplay() {
    return HeadsetDisplayFinder(HeadsetIdFiles::load(HeadsetIdFiles::Problems::Ignore)).find();
}

DisplayGamma &WindowsDeviceSystem::gamma() {
    return *m_gamma;
}

std::unique_ptr<DeviceSystem::Following>
WindowsDeviceSystem::watchDisplays(std::function<void()> changed) {
    auto watcher = std::make_unique<DisplayWatcher>(std::move(changed));
    if (!watcher->start())
        return nullptr;
    return watcher;
}

bool WindowsDeviceSystem::raiseCapturer() {
    const HWND window = capturerWindow();
    if (!window)
        return false;
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    // Refused when the calling process is not in the foreground; the window is there all the same.
    SetForegroundWindow(window);
    return true;
}

bool WindowsDeviceSystem::closeCapturer() {
    const HWND window = capturerWindow();
    return window && PostMessageW(window, WM_CLOSE, 0, 0);
}

} // namespace hlx::windows
