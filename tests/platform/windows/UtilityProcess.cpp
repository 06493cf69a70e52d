#include "UtilityProcess.h"
#include "ChildProcess.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace support {

namespace {

struct WindowSearch {
    DWORD processId;
    const std::wstring *className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM parameter) {
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    wchar_t className[256] = {};
    GetClassNameW(window, className, 256);
    if (search->className->empty() || *search->className == className)
        search->found.push_back(window);
    return TRUE;
}

} // namespace

UtilityProcess::UtilityProcess(const std::filesystem::path &program,
                               const std::filesystem::path &workingFolder,
                               const std::wstring &arguments) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, workingFolder.wstring().c_str(), &startup, &process))
        throw std::runtime_error("cannot start " + program.string());
    CloseHandle(process.hThread);
    m_process = process.hProcess;
    m_id = process.dwProcessId;
}

UtilityProcess::~UtilityProcess() {
    if (running()) {
        TerminateProcess(m_process, 99);
        WaitForSingleObject(m_process, 10000);
    }
    CloseHandle(m_process);
}

bool UtilityProcess::running() const {
    return WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

long UtilityProcess::waitForExit(DWORD milliseconds) {
    if (WaitForSingleObject(m_process, milliseconds) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    return static_cast<long>(code);
}

std::vector<HWND> UtilityProcess::windows(const std::wstring &className) const {
    WindowSearch search{m_id, &className, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&search));
    return std::move(search.found);
}

HWND UtilityProcess::awaitWindow(const std::wstring &className, const std::wstring &title) const {
    HWND shown = nullptr;
    waitFor(30000, [&] {
        for (HWND window : windows(className)) {
            if (IsWindowVisible(window) && windowText(window) == title)
                shown = window;
        }
        return shown != nullptr;
    });
    return shown;
}

HWND UtilityProcess::awaitBox() const {
    HWND box = nullptr;
    waitFor(30000, [&] {
        for (HWND window : windows(L"#32770")) {
            if (IsWindowVisible(window))
                box = window;
        }
        return box != nullptr;
    });
    return box;
}

std::filesystem::path buildRoot() {
    return (std::filesystem::path(ChildProcess::programPath()).parent_path() / HLX_WINDOWS_BIN_DIR)
        .parent_path();
}

std::wstring windowText(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

bool typeInto(HWND window, WORD key) {
    SetForegroundWindow(window);
    if (!waitFor(10000, [&] { return GetForegroundWindow() == window; }))
        return false;
    INPUT strokes[2] = {};
    for (INPUT &stroke : strokes) {
        stroke.type = INPUT_KEYBOARD;
        stroke.ki.wVk = key;
    }
    strokes[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, strokes, sizeof(INPUT)) == 2;
}

namespace {

// What the screen shows in `area` (screen coordinates), row by row, each pixel 0x00RRGGBB.
ClientPixels grabScreen(const RECT &area) {
    ClientPixels grabbed;
    grabbed.width = area.right - area.left;
    grabbed.height = area.bottom - area.top;
    if (grabbed.width <= 0 || grabbed.height <= 0)
        return {};

    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = grabbed.width;
    format.bmiHeader.biHeight = -grabbed.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, grabbed.width, grabbed.height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    // A 32-bit DIB holds blue, green, red and an unused byte.
    const auto *pixel = static_cast<const DWORD *>(bits);
    grabbed.pixels.assign(pixel, pixel + std::size_t(grabbed.width) * std::size_t(grabbed.height));
    for (DWORD &value : grabbed.pixels)
        value &= 0xFFFFFF;
    SelectObject(memory, previous);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return grabbed;
}

} // namespace

ClientPixels grabClient(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return grabScreen({origin.x, origin.y, origin.x + client.right, origin.y + client.bottom});
}

int countPixels(HWND window, COLORREF colour) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const DWORD wanted = (DWORD(GetRValue(colour)) << 16) | (DWORD(GetGValue(colour)) << 8) |
                         DWORD(GetBValue(colour));
    const std::vector<DWORD> pixels = grabScreen(frame).pixels;
    return int(std::count(pixels.begin(), pixels.end(), wanted));
}

} // namespace support
