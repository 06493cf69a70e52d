#include "WideText.h"

#include <windows.h>

namespace platform {

std::wstring widen(const std::string &text) {
    if (text.empty())
        return {};
    const DWORD lastError = GetLastError();
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (wideLength > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), wideLength);
    SetLastError(lastError);
    return wide;
}

} // namespace platform
