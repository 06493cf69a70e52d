#include "TopLevelWindow.h"

namespace support {

TopLevelWindow::TopLevelWindow(const wchar_t *className, const std::wstring &title, bool visible) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    // Registered once per class and process; a later registration fails harmlessly.
    RegisterClassW(&windowClass);
    m_window = CreateWindowExW(0, className, title.c_str(), WS_OVERLAPPEDWINDOW, 100, 100, 300, 200,
                               nullptr, nullptr, GetModuleHandleW(nullptr), this);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (visible)
        ShowWindow(m_window, SW_SHOWNORMAL);
}

void TopLevelWindow::pumpUntilInputEnds() {
    static DWORD mainThread = GetCurrentThreadId();
    CloseHandle(CreateThread(
        nullptr, 0,
        [](void *) -> DWORD {
            char ignored = 0;
            DWORD got = 0;
            while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &ignored, 1, &got, nullptr) &&
                   got == 1) {
            }
            PostThreadMessageW(mainThread, WM_QUIT, 0, 0);
            return 0;
        },
        nullptr, 0, nullptr));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

TopLevelWindow::~TopLevelWindow() {
    DestroyWindow(m_window);
}

LRESULT CALLBACK TopLevelWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    // Registered window messages take the range the system keeps for them.
    if (message >= 0xC000 && message <= 0xFFFF) {
        if (auto *self =
                reinterpret_cast<TopLevelWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA)))
            self->m_registered.push_back(message);
    }
    return DefWindowProcW(window, message, w, l);
}

} // namespace support
