#pragma once

#include <windows.h>

#include <string>

// What a person sees of a companion stand-in: its name, the command line it was given and
// the folder it runs in, in a window along the bottom of the screen.
class CompanionWindow {
public:
    CompanionWindow(const std::wstring &name, const std::wstring &arguments,
                    const std::wstring &folder, bool onTheRight);
    ~CompanionWindow();
    CompanionWindow(const CompanionWindow &) = delete;
    CompanionWindow &operator=(const CompanionWindow &) = delete;

    // Shows it as the starter asked and runs until it is closed; returns the exit code.
    int run(int showCommand);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    RECT textArea() const;

    std::wstring m_text;
    HWND m_window = nullptr;
};
