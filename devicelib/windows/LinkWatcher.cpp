#include "LinkWatcher.h"

#include "LinkAnnouncer.h"
#include "PresentHeadsets.h"

#include <dbt.h>

#include <future>
#include <system_error>

namespace hlx::windows {

namespace {

// GUID_DEVINTERFACE_MONITOR of ntddvdeo.h, which mingw-w64 does not ship.
constexpr GUID monitorInterface = {
    0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};
// GUID_DEVINTERFACE_USB_DEVICE, spelled out so that no object file has to define it.
constexpr GUID usbDeviceInterface = {
    0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

HMODULE thisModule() {
    HMODULE module = nullptr;
    // Pinned: the thread runs this module's code until HLX_Deinit, so a host that frees the
    // library without calling it must not unmap the code under the thread.
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

LinkWatcher::LinkWatcher(headsets::HeadsetIds ids)
    : m_ids(std::move(ids)) {}

LinkWatcher::~LinkWatcher() {
    stop();
}

bool LinkWatcher::start() {
    std::promise<bool> setUpDone;
    std::future<bool> setUpResult = setUpDone.get_future();
    try {
        m_thread = std::thread([this, &setUpDone] {
            const bool ready = setUp();
            if (ready)
                rejudge(LinkAnnouncer::Audience::ThisProcess);
            setUpDone.set_value(ready);
            if (ready)
                run();
            tearDown();
        });
    } catch (const std::system_error &) {
        // Nothing may leave a C entry point as an exception.
        return false;
    }
    const bool ready = setUpResult.get();
    if (!ready)
        m_thread.join();
    return ready;
}

void LinkWatcher::stop() {
    if (!m_thread.joinable())
        return;
    // A thread message: no window of another process can send it, as one could WM_CLOSE.
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

bool LinkWatcher::setUp() {
    m_threadId = GetCurrentThreadId();
    const HMODULE module = thisModule();
    WNDCLASSEXW windowClassInfo{};
    windowClassInfo.cbSize = sizeof windowClassInfo;
    windowClassInfo.lpfnWndProc = windowProcedure;
    windowClassInfo.hInstance = module;
    windowClassInfo.lpszClassName = windowClass;
    if (!RegisterClassExW(&windowClassInfo) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    // Top-level, since WM_DISPLAYCHANGE goes to top-level windows only, and never shown.
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, module, this);
    if (!m_window)
        return false;
    m_monitorNotification = registerFor(m_window, monitorInterface);
    m_usbNotification = registerFor(m_window, usbDeviceInterface);
    return m_monitorNotification && m_usbNotification;
}

void LinkWatcher::tearDown() {
    if (m_usbNotification)
        UnregisterDeviceNotification(m_usbNotification);
    if (m_monitorNotification)
        UnregisterDeviceNotification(m_monitorNotification);
    m_usbNotification = m_monitorNotification = nullptr;
    if (m_window)
        DestroyWindow(m_window);
    m_window = nullptr;
    UnregisterClassW(windowClass, thisModule());
}

void LinkWatcher::run() {
    MSG message;
    // No timeout and no timer: the thread costs nothing while nothing is plugged or unplugged.
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

void LinkWatcher::rejudge(LinkAnnouncer::Audience audience) {
    // Whatever a notification says, the devices present now are what counts: a removed device
    // may be gone already, and several changes may have come at once.
    const Links current{headsetDisplayPresent(m_ids), headsetUsbPresent(m_ids)};
    LinkAnnouncer::announce(messagesForChange(m_announced, current), audience);
    m_announced = current;
}

LRESULT CALLBACK LinkWatcher::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto *watcher = reinterpret_cast<LinkWatcher *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_DEVICECHANGE:
    case WM_DISPLAYCHANGE:
        if (watcher)
            watcher->rejudge(LinkAnnouncer::Audience::AllWindows);
        return message == WM_DEVICECHANGE ? TRUE : 0;
    case WM_CLOSE:
        // Only HLX_Deinit ends the watch.
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace hlx::windows
