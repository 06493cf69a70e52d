#include "DebugOutputCapture.h"

#include <cstdio>
#include <stdexcept>

#include <unistd.h>

namespace support {

// m_handles: the saved standard error, and the file that stands in for it meanwhile.
DebugOutputCapture::DebugOutputCapture() {
    std::FILE *file = std::tmpfile();
    if (file == nullptr)
        throw std::runtime_error("no file to capture standard error");
    std::fflush(stderr);
    m_handles[0] = ::dup(STDERR_FILENO);
    m_handles[1] = ::dup(::fileno(file));
    std::fclose(file);
    ::dup2(static_cast<int>(m_handles[1]), STDERR_FILENO);
}

DebugOutputCapture::~DebugOutputCapture() {
    ::dup2(static_cast<int>(m_handles[0]), STDERR_FILENO);
    ::close(static_cast<int>(m_handles[0]));
    ::close(static_cast<int>(m_handles[1]));
}

std::vector<std::string> DebugOutputCapture::messages() {
    std::string text;
    char buffer[512];
    ssize_t got = 0;
    off_t offset = 0;
    while ((got = ::pread(static_cast<int>(m_handles[1]), buffer, sizeof buffer, offset)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back("(no line end) " + text.substr(start));
    return lines;
}

} // namespace support
