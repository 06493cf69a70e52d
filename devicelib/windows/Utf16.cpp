#include "Utf16.h"

#include <windows.h>

namespace hlx::windows {

std::wstring toUtf16(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int length = static_cast<int>(utf8.size());
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength > 0 ? wideLength : 0), L'\0');
    if (wideLength > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), wideLength);
    return wide;
}

std::string toUtf8(std::wstring_view utf16) {
    if (utf16.empty())
        return {};
    const int length = static_cast<int>(utf16.size());
    const int narrowLength =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(narrowLength > 0 ? narrowLength : 0), '\0');
    if (narrowLength > 0)
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, narrow.data(), narrowLength, nullptr,
                            nullptr);
    return narrow;
}

} // namespace hlx::windows
