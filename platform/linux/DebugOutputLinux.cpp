#include "Platform.h"

#include <unistd.h>

namespace platform {

void writeDebugOutput(const std::string &text) {
    // One write call, so that lines of concurrent writers never interleave.
    const std::string line = text + '\n';
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
}

} // namespace platform
