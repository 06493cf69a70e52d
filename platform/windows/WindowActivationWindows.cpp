#include "Platform.h"
#include "WideText.h"

#include <windows.h>

namespace platform {

// Every Qt program of the same Qt release registers the same class for its top-level windows,
// so the title tells ours apart; the application name has no counterpart on a Windows window.
// Only brought forward: a hidden window stays hidden, as the tray keeps it.
bool bringWindowToFront(const std::string &, const std::string &title) {
    const std::wstring windowClass = widen(HLX_QT_WINDOW_CLASS);
    const std::wstring wideTitle = widen(title);
    HWND window = FindWindowW(windowClass.c_str(), wideTitle.c_str());
    if (window == nullptr)
        return false;
    SetForegroundWindow(window);
    return true;
}

} // namespace platform
