#include "WindowMark.h"

#include <windows.h>

void markCapturerWindow(QWindow *window) {
    SetPropW(reinterpret_cast<HWND>(window->winId()), L"HLX_DisplayCapturer",
             reinterpret_cast<HANDLE>(1));
}
