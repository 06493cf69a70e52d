// A companion program's launcher on Windows: demo\Lumeshow.exe or Pictor\Pictor.exe of the
// install. The program itself is a library in ..\bin, beside the one copy of Qt and the compiler
// runtime, which Windows would look for only beside a program. Run in this process, the program
// keeps the name, command line, show command and session that the launcher was started with.
#include <windows.h>

#include <string>

namespace {

using RunCompanion = int (*)(int argc, char **argv, const wchar_t *qtFolder);

std::wstring ownFile() {
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, file.data(), DWORD(file.size()));
        if (length < file.size()) {
            file.resize(length);
            return file;
        }
        file.resize(file.size() * 2);
    }
}

std::wstring fullPath(const std::wstring &path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

int cannotStart(const std::wstring &library, DWORD error) {
    wchar_t *reason = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&reason), 0, nullptr);
    const std::wstring text = L"The program could not start: " + library + L" could not be " +
                              L"loaded.\r\n\r\n" + (reason ? reason : L"") +
                              L"\r\nInstalling the HLX configuration utility again repairs it.";
    LocalFree(reason);
    MessageBoxW(nullptr, text.c_str(), HLX_COMPANION_LIBRARY, MB_ICONERROR);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    const std::wstring file = ownFile();
    const std::wstring bin = fullPath(file.substr(0, file.find_last_of(L'\\')) + L"\\..\\bin");
    const std::wstring library = bin + L"\\" + HLX_COMPANION_LIBRARY;
    // The library's own folder is where its imports are looked for first; bin\ also stays on the
    // search for what Qt loads by name later.
    SetDllDirectoryW(bin.c_str());
    HMODULE program = LoadLibraryExW(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!program)
        return cannotStart(library, GetLastError());
    const auto run = reinterpret_cast<RunCompanion>(
        reinterpret_cast<void *>(GetProcAddress(program, "hlxRunCompanion")));
    if (!run)
        return cannotStart(library, GetLastError());
    return run(argc, argv, bin.c_str());
}
