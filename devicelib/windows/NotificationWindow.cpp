#include "NotificationWindow.h"

#include <dbt.h>

#include <future>
#include <system_error>

namespace hlx::windows {

namespace {

HMODULE thisModule() {
    HMODULE module = nullptr;
    // Pinned: the thread runs this module's code until it is stopped, so a host that frees the
    // library without calling HLX_Deinit must not unmap the code under the thread.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

HDEVNOTIFY registerFor(HWND window, const GUID &interfaceClass) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceClass;
    return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

} // namespace

NotificationWindow::NotificationWindow(const wchar_t *windowClass,
                                       std::vector<GUID> interfaceClasses, Handler handler)
    : m_windowClass(windowClass)
    , m_interfaceClasses(std::move(interfaceClasses))
    , m_handler(std::move(handler)) {}

NotificationWindow::~NotificationWindow() {
    stop();
}

bool NotificationWindow::start(const std::function<void()> &ready) {
    std::promise<bool> setUpDone;
    std::future<bool> setUpResult = setUpDone.get_future();
    try {
        m_thread = std::thread([this, &setUpDone, &ready] {
            const bool listening = setUp();
            if (listening && ready)
                ready();
            setUpDone.set_value(listening);
            MSG message;
            while (listening && GetMessageW(&message, nullptr, 0, 0) > 0)
                DispatchMessageW(&message);
            tearDown();
        });
    } catch (const std::system_error &) {
        // Nothing may leave a C entry point as an exception.
        return false;
    }
    const bool listening = setUpResult.get();
    if (!listening)
        m_thread.join();
    return listening;
}

void NotificationWindow::stop() {
    if (!m_thread.joinable())
        return;
    // A thread message: no window of another process can send it, as one could WM_CLOSE.
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

bool NotificationWindow::setUp() {
    m_threadId = GetCurrentThreadId();
    const HMODULE module = thisModule();
    WNDCLASSEXW windowClassInfo{};
    windowClassInfo.cbSize = sizeof windowClassInfo;
    windowClassInfo.lpfnWndProc = windowProcedure;
    windowClassInfo.hInstance = module;
    windowClassInfo.lpszClassName = m_windowClass;
    if (!RegisterClassExW(&windowClassInfo) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    // Top-level, since WM_DISPLAYCHANGE goes to top-level windows only, and never shown.
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, m_windowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, module, this);
    if (!m_window)
        return false;
    for (const GUID &interfaceClass : m_interfaceClasses) {
        const HDEVNOTIFY notification = registerFor(m_window, interfaceClass);
        if (!notification)
            return false;
        m_notifications.push_back(notification);
    }
    return true;
}

void NotificationWindow::tearDown() {
    for (const HDEVNOTIFY notification : m_notifications)
        UnregisterDeviceNotification(notification);
    m_notifications.clear();
    if (m_window)
        DestroyWindow(m_window);
    m_window = nullptr;
    // Fails harmlessly while another window still uses the class.
    UnregisterClassW(m_windowClass, thisModule());
}

LRESULT CALLBACK NotificationWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                     LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto *self = reinterpret_cast<NotificationWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_DEVICECHANGE:
    case WM_DISPLAYCHANGE:
        if (self)
            self->m_handler(message, wParam);
        return message == WM_DEVICECHANGE ? TRUE : 0;
    case WM_CLOSE:
        // Only its owner ends the watch.
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace hlx::windows
