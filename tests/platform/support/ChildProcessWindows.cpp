#include "ChildProcess.h"

#include <windows.h>

#include <stdexcept>

namespace support {

namespace {

HANDLE handle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

std::intptr_t value(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

std::wstring widen(const std::string &text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(),
                                           static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return wide;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string> &helperArguments) {
    std::wstring commandLine = L"\"" + widen(programPath()) + L"\" --helper";
    for (const std::string &argument : helperArguments)
        commandLine += L" \"" + widen(argument) + L"\"";

    // Only the child's ends of the pipes are inherited; the child gets no other handle of ours.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    if (!CreatePipe(&inputRead, &inputWrite, &inheritable, 0) ||
        !CreatePipe(&outputRead, &outputWrite, &inheritable, 0))
        throw std::runtime_error("no pipe for the helper");
    SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(inputRead);
    CloseHandle(outputWrite);
    if (!started)
        throw std::runtime_error("cannot start the helper");
    CloseHandle(process.hThread);
    m_process = value(process.hProcess);
    m_input = value(inputWrite);
    m_output = value(outputRead);
}

ChildProcess::~ChildProcess() {
    if (!m_ended) {
        kill();
        wait();
    }
    closeInput();
    CloseHandle(handle(m_output));
    CloseHandle(handle(m_process));
}

std::string ChildProcess::programPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        throw std::runtime_error("cannot find the test program's path");
    const int size = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), utf8.data(), size, nullptr,
                        nullptr);
    return utf8;
}

std::string ChildProcess::readLine() {
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(handle(m_output), &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        if (c != '\r')
            line += c;
    }
    return line;
}

void ChildProcess::closeInput() {
    if (m_input != -1)
        CloseHandle(handle(m_input));
    m_input = -1;
}

void ChildProcess::kill() {
    TerminateProcess(handle(m_process), 99);
}

int ChildProcess::wait() {
    if (!m_ended) {
        WaitForSingleObject(handle(m_process), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(handle(m_process), &code);
        m_status = static_cast<int>(code);
        m_ended = true;
    }
    return m_status;
}

} // namespace support
