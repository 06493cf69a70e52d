#pragma once

#include <string>
#include <string_view>

namespace hlx::windows {

// Between the UTF-8 of the library's interface and judge and the UTF-16 of the system's W
// functions. Text that is not valid in its encoding comes out with replacement characters.
std::wstring toUtf16(std::string_view utf8);
std::string toUtf8(std::wstring_view utf16);

} // namespace hlx::windows
