#include "DisplayWatcher.h"

#include <dbt.h>

#include <future>
#include <system_error>

namespace hlx::windows {

namespace {

// GUID_DEVINTERFACE_MONITOR of ntddvdeo.h, which mingw-w64 does not ship.
constexpr GUID monitorInterface = {
    0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};

HMODULE thisModule() {
    HMODULE module = nullptr;
    // Pinned, as the link watcher's: the thread runs this module's code until it is stopped.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

} // namespace

DisplayWatcher::DisplayWatcher(std::function<void()> changed)
    : m_changed(std::move(changed)) {}

DisplayWatcher::~DisplayWatcher() {
    if (!m_thread.joinable())
        return;
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

bool DisplayWatcher::start() {
    std::promise<bool> setUpDone;
    std::future<bool> setUpResult = setUpDone.get_future();
    try {
        m_thread = std::thread([this, &setUpDone] {
            const bool ready = setUp();
            setUpDone.set_value(ready);
            MSG message;
            while (ready && GetMessageW(&message, nullptr, 0, 0) > 0)
                DispatchMessageW(&message);
            tearDown();
        });
    } catch (const std::system_error &) {
        return false;
    }
    const bool ready = setUpResult.get();
    if (!ready)
        m_thread.join();
    return ready;
}

bool DisplayWatcher::setUp() {
    m_threadId = GetCurrentThreadId();
    WNDCLASSEXW windowClassInfo{};
    windowClassInfo.cbSize = sizeof windowClassInfo;
    windowClassInfo.lpfnWndProc = windowProcedure;
    windowClassInfo.hInstance = thisModule();
    windowClassInfo.lpszClassName = windowClass;
    if (!RegisterClassExW(&windowClassInfo) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    // Top-level, since WM_DISPLAYCHANGE goes to top-level windows only, and never shown.
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, thisModule(), this);
    if (!m_window)
        return false;
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = monitorInterface;
    m_notification = RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return m_notification != nullptr;
}

void DisplayWatcher::tearDown() {
    if (m_notification)
        UnregisterDeviceNotification(m_notification);
    m_notification = nullptr;
    if (m_window)
        DestroyWindow(m_window);
    m_window = nullptr;
    // Fails harmlessly while another watcher's window still uses the class.
    UnregisterClassW(windowClass, thisModule());
}

LRESULT CALLBACK DisplayWatcher::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto *watcher = reinterpret_cast<DisplayWatcher *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_DISPLAYCHANGE:
        if (watcher)
            watcher->m_changed();
        return 0;
    case WM_DEVICECHANGE:
        // A monitor arriving or leaving; not the queries that ask leave to remove one.
        if (watcher && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
                        wParam == DBT_DEVNODES_CHANGED))
            watcher->m_changed();
        return TRUE;
    case WM_CLOSE:
        // Only its owner ends the watch.
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace hlx::windows
