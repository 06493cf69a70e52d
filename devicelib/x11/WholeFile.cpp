#include "WholeFile.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace hlx {

bool readWholeFile(const std::string &path, std::string &content) {
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    bool complete = false;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            content.append(buffer, static_cast<size_t>(got));
        } else if (got == 0) {
            complete = true;
            break;
        } else if (errno != EINTR) {
            break;
        }
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return complete;
}

} // namespace hlx
