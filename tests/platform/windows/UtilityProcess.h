#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace support {

// A program of the build started as a person or a shortcut would, by its path, in a working
// folder of the test's choosing; ended on destruction if it still runs. Its windows are the
// real ones, found and read through the system.
class UtilityProcess {
public:
    UtilityProcess(const std::filesystem::path &program, const std::filesystem::path &workingFolder,
                   const std::wstring &arguments = {});
    ~UtilityProcess();
    UtilityProcess(const UtilityProcess &) = delete;
    UtilityProcess &operator=(const UtilityProcess &) = delete;

    DWORD id() const { return m_id; }
    bool running() const;
    // Its exit status once it has ended, or -1 when it still runs after `milliseconds`.
    long waitForExit(DWORD milliseconds);

    // Its top-level windows, shown or not, of `className` (any class when empty).
    std::vector<HWND> windows(const std::wstring &className = {}) const;
    // Its shown top-level window of that class and title, once there; null after 30 s.
    HWND awaitWindow(const std::wstring &className, const std::wstring &title) const;
    // Its next shown message box (class "#32770"); null after 30 s.
    HWND awaitBox() const;

private:
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
};

// Where the build laid out bin/, demo/ and Pictor/.
std::filesystem::path buildRoot();

std::wstring windowText(HWND window);

// Whether `condition` holds within `milliseconds`, asked every 50 ms.
template <typename Condition> bool waitFor(DWORD milliseconds, Condition condition) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(50);
    }
    return true;
}

// Makes `window` the foreground window and types `key` into it, as the keyboard would.
bool typeInto(HWND window, WORD key);

// How many pixels of the window, as it is on the screen, have exactly this colour.
int countPixels(HWND window, COLORREF colour);

// The window's client area as it is on the screen, row by row, each pixel 0x00RRGGBB.
struct ClientPixels {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;
    DWORD at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + x]; }
};
ClientPixels grabClient(HWND window);

} // namespace support
