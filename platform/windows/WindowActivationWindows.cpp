#include "Platform.h"
#include "WideText.h"

#include <windows.h>

namespace platform {

namespace {

// The window class that Qt 5's Windows platform gives its top-level windows.
constexpr wchar_t kQtWindowClass[] = L"QT5QwindowIcon";

} // namespace

// Every Qt program's top-level windows share the class, so the title tells ours apart; the
// application name has no counterpart on a Windows window and is not needed.
bool bringWindowToFront(const std::string &, const std::string &title) {
    const std::wstring wideTitle = widen(title);
    HWND window = FindWindowW(kQtWindowClass, wideTitle.c_str());
    if (window == nullptr)
        return false;
    SetForegroundWindow(window);
    return true;
}

} // namespace platform
