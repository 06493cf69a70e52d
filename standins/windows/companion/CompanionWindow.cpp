#include "CompanionWindow.h"

namespace {

constexpr wchar_t kClassName[] = L"HlxCompanionStandIn";
constexpr int kMargin = 16;
constexpr UINT kTextFormat = DT_NOPREFIX | DT_EXPANDTABS;

HFONT textFont() {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

} // namespace

CompanionWindow::CompanionWindow(const std::wstring &name, const std::wstring &arguments,
                                 const std::wstring &folder, bool onTheRight)
    : m_text(name + L" is running.\n\nArguments: " + arguments + L"\nWorking folder: " + folder) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &CompanionWindow::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);

    // Sized to its text, out of the way of the utility, which opens at the top left when no
    // window manager places it, and of a tray along the top: the two stand-ins along the bottom.
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame = textArea();
    OffsetRect(&frame, -frame.left, -frame.top);
    InflateRect(&frame, kMargin, kMargin);
    AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT screen{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    const int x = onTheRight ? screen.right - width : screen.left;
    m_window = CreateWindowExW(0, kClassName, (name + L" (stand-in)").c_str(), style, x,
                               screen.bottom - height, width, height, nullptr, nullptr,
                               windowClass.hInstance, this);
}

CompanionWindow::~CompanionWindow() {
    if (m_window != nullptr)
        DestroyWindow(m_window);
}

int CompanionWindow::run(int showCommand) {
    if (m_window == nullptr)
        return 1;
    ShowWindow(m_window, showCommand);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

RECT CompanionWindow::textArea() const {
    RECT area{0, 0, 0, 0};
    HDC context = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(context, textFont());
    DrawTextW(context, m_text.c_str(), -1, &area, kTextFormat | DT_CALCRECT);
    SelectObject(context, previous);
    ReleaseDC(nullptr, context);
    return area;
}

LRESULT CALLBACK CompanionWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto *self = reinterpret_cast<CompanionWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC context = BeginPaint(window, &paint);
        if (self != nullptr) {
            RECT area = self->textArea();
            OffsetRect(&area, kMargin, kMargin);
            SelectObject(context, textFont());
            SetBkMode(context, TRANSPARENT);
            DrawTextW(context, self->m_text.c_str(), -1, &area, kTextFormat);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        if (self != nullptr)
            self->m_window = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
