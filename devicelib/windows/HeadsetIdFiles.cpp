#include "HeadsetIdFiles.h"

#include "Utf16.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>

namespace hlx::windows {

namespace {

// False if the file cannot be opened or read to its end; GetLastError() says why.
bool readWholeFile(const std::wstring &path, std::string &content) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    content.clear();
    char buffer[4096];
    DWORD got = 0;
    bool complete = false;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        if (got == 0) {
            complete = true;
            break;
        }
        content.append(buffer, got);
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return complete;
}

// Notepad may save the list with a byte order mark, which is no part of the first line.
std::string_view withoutByteOrderMark(std::string_view text) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    if (text.substr(0, mark.size()) == mark)
        text.remove_prefix(mark.size());
    return text;
}

} // namespace

std::wstring HeadsetIdFiles::userListPath() {
    PWSTR folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder)))
        path = std::wstring(folder) + L"\\hlx-config\\hmd-ids";
    CoTaskMemFree(folder);
    return path;
}

void HeadsetIdFiles::report(const std::string &problem, Problems problems) {
    if (problems == Problems::ToDebugger)
        OutputDebugStringW(toUtf16("libHLX: " + problem + "\n").c_str());
    else if (problems == Problems::ToStandardError)
        std::fprintf(stderr, "hlx-headsets: %s\n", problem.c_str());
}

headsets::HeadsetIds HeadsetIdFiles::load(Problems problems) {
    headsets::HeadsetIds ids;
    const std::wstring path = userListPath();
    std::string content;
    if (path.empty())
        return ids;
    const std::string shownPath = toUtf8(path);
    if (!readWholeFile(path, content)) {
        // A list that is not there is no news; one that is there and cannot be read is.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            report("cannot read " + shownPath + ": error " + std::to_string(error), problems);
        return ids;
    }
    for (const auto &[line, text] : ids.addUserList(withoutByteOrderMark(content)))
        report(headsets::HeadsetIds::unreadLineProblem(shownPath, line, text), problems);
    return ids;
}

} // namespace hlx::windows
