#include "Platform.h"
#include "WideText.h"

#include <windows.h>

#include <shellapi.h>

namespace platform {

// No directory is given, so the shell starts the program in this process's working
// directory.
bool startProgram(const std::string &path, const std::string &parameters) {
    const std::wstring widePath = widen(path);
    const std::wstring wideParameters = widen(parameters);
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", widePath.c_str(),
                                           wideParameters.c_str(), nullptr, SW_FORCEMINIMIZE);
    // Results up to 32 are error codes; anything above means the shell took the start.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace platform
