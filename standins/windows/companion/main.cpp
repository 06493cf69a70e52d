#include "CompanionWindow.h"
#include "RunRecord.h"

#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The command line as the starter wrote it, in UTF-16: the ANSI code page would garble a
// folder name outside it.
std::vector<std::wstring> commandLine() {
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> command(arguments, arguments + (arguments != nullptr ? count : 0));
    LocalFree(arguments);
    return command;
}

// With forward slashes, as a Qt program reports its folder.
std::wstring workingFolder() {
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    for (wchar_t &c : folder) {
        if (c == L'\\')
            c = L'/';
    }
    return folder;
}

std::wstring environmentVariable(const wchar_t *name) {
    std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

int startupShowCommand() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
}

} // namespace

// Stands in for a program that the utility or its device library starts: it shows that it
// runs and with what, and does nothing else.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    const std::wstring name = HLX_COMPANION_NAME;
    const std::vector<std::wstring> command = commandLine();
    const std::wstring folder = workingFolder();

    const std::wstring recordFile = environmentVariable(L"HLX_COMPANION_RECORD");
    if (!recordFile.empty() &&
        !RunRecord::append(recordFile, name, command, folder, startupShowCommand()))
        std::fprintf(stderr, "%ls: could not append to %ls\n", name.c_str(), recordFile.c_str());

    std::wstring arguments;
    for (std::size_t index = 1; index < command.size(); ++index)
        arguments += (index > 1 ? L" " : L"") + command[index];
    CompanionWindow window(name, arguments, folder, HLX_COMPANION_ON_THE_RIGHT);
    return window.run(showCommand);
}
