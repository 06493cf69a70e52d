#include "DetachedLauncher.h"

#include "Utf16.h"

#include <windows.h>

namespace hlx {

DetachedLauncher::Result DetachedLauncher::start(const std::string &utf8Path) {
    const std::wstring path = windows::toUtf16(utf8Path);
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Result::Missing;
    // CreateProcessW may write into the command line, so it is a copy of its own.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process))
        return Result::Failed;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Result::Started;
}

} // namespace hlx
