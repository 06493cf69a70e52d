#include "Platform.h"
#include "WideText.h"

#include <windows.h>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace platform {

namespace {

// Room for " failed with error " (19), the code with its sign (at most 11), ": " and the
// terminating NUL, so the text is never cut.
constexpr int kFixedCharacters = 40;

} // namespace

void reportLastError(const std::string &what) {
    // Read first: everything below makes system calls that may set it.
    const DWORD code = GetLastError();
    const std::wstring wideWhat = widen(what);

    LPWSTR systemText = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<LPWSTR>(&systemText), 0, nullptr);
    // A code the system has no text for leaves no buffer; the box still names the step
    // and the code.
    LPCWSTR shownSystemText = systemText != nullptr ? systemText : L"";

    const int characters =
        lstrlenW(wideWhat.c_str()) + lstrlenW(shownSystemText) + kFixedCharacters;
    auto text = static_cast<LPWSTR>(
        LocalAlloc(LMEM_ZEROINIT, static_cast<SIZE_T>(characters) * sizeof(wchar_t)));
    if (text != nullptr) {
        StringCchPrintfW(text, LocalSize(text) / sizeof(wchar_t), L"%s failed with error %d: %s",
                         wideWhat.c_str(), static_cast<int>(code), shownSystemText);
        MessageBoxW(nullptr, text, L"Error", MB_OK);
    }
    LocalFree(systemText);
    LocalFree(text);
}

} // namespace platform
