#include "RunRecord.h"

#include <windows.h>

#include <cstdio>

namespace {

std::string utf8(const std::wstring &text) {
    if (text.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, nullptr);
    return bytes;
}

std::string quoted(const std::wstring &text) {
    std::string json = "\"";
    for (const char c : utf8(text)) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

} // namespace

bool RunRecord::append(const std::wstring &file, const std::wstring &name,
                       const std::vector<std::wstring> &command, const std::wstring &folder,
                       int showCommand) {
    std::string arguments = "[";
    for (std::size_t index = 1; index < command.size(); ++index)
        arguments += (index > 1 ? "," : "") + quoted(command[index]);
    arguments += "]";
    std::string line = "{\"program\":" + quoted(name) +
                       ",\"pid\":" + std::to_string(GetCurrentProcessId()) +
                       ",\"path\":" + quoted(command.empty() ? std::wstring() : command.front()) +
                       ",\"arguments\":" + arguments + ",\"workingDirectory\":" + quoted(folder);
    if (showCommand >= 0)
        line += ",\"showCommand\":" + std::to_string(showCommand);
    line += "}\n";

    // Appended with one write: several companions may add to the same file at once.
    HANDLE out = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool whole =
        WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
        written == line.size();
    CloseHandle(out);
    return whole;
}
