#include "DebugOutputCapture.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

namespace support {

namespace {

// The shared buffer of the debugger-output protocol: the writer's process id, then the text.
struct DebugBuffer {
    DWORD processId;
    char text[4096 - sizeof(DWORD)];
};

HANDLE handle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

// m_handles: the writers' mutex, the buffer mapping, "buffer ready" and "data ready", the
// objects a debug monitor creates so that OutputDebugString hands it each message.
DebugOutputCapture::DebugOutputCapture() {
    HANDLE objects[] = {
        CreateMutexW(nullptr, FALSE, L"DBWinMutex"),
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DebugBuffer),
                           L"DBWIN_BUFFER"),
        CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY"),
        CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"),
    };
    for (int i = 0; i < 4; ++i) {
        if (objects[i] == nullptr)
            throw std::runtime_error("cannot act as a debug monitor");
        m_handles[i] = reinterpret_cast<std::intptr_t>(objects[i]);
    }
}

DebugOutputCapture::~DebugOutputCapture() {
    for (std::intptr_t object : m_handles)
        CloseHandle(handle(object));
}

std::vector<std::string> DebugOutputCapture::messages() {
    std::vector<std::string> messages;
    auto *buffer = static_cast<DebugBuffer *>(
        MapViewOfFile(handle(m_handles[1]), FILE_MAP_READ, 0, 0, sizeof(DebugBuffer)));
    if (buffer == nullptr)
        throw std::runtime_error("cannot read the debug buffer");
    while (WaitForSingleObject(handle(m_handles[3]), 0) == WAIT_OBJECT_0) {
        const std::string text(buffer->text, strnlen(buffer->text, sizeof buffer->text));
        messages.push_back(buffer->processId == GetCurrentProcessId()
                               ? text
                               : "(from process " + std::to_string(buffer->processId) + ") " +
                                     text);
        SetEvent(handle(m_handles[2]));
    }
    UnmapViewOfFile(buffer);
    return messages;
}

} // namespace support
