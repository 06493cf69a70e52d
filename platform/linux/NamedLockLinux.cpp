#include "Platform.h"
#include "RuntimeDirectory.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// Without a lock every start runs as the first instance, so the user learns why.
void reportNoLock(const std::string &where, int error) {
    writeDebugOutput("HLX_Configuration_Mutex: no single-instance lock in " + where + ": " +
                     std::strerror(error) + "; other starts will not find this one");
}

} // namespace

NamedLock createNamedLock(const std::string &name) {
    const std::string folder = runtimeDirectory();
    if (folder.empty()) {
        reportNoLock("a private runtime folder (XDG_RUNTIME_DIR, or hlx-runtime-" +
                         std::to_string(getuid()) + " under TMPDIR or /tmp)",
                     EACCES);
        return {-1, false};
    }

    const std::string path =
        folder + '/' + name + '@' + displayKey(std::getenv("DISPLAY")) + ".lock";
    // Close-on-exec keeps programs we start from inheriting the lock and outliving us with it.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        reportNoLock(path, errno);
        return {-1, false};
    }

    // The kernel drops an flock when its last descriptor closes, also when the process is
    // killed, so a crashed instance never blocks the next start.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return {fd, false};
    const int error = errno;
    if (error != EWOULDBLOCK) {
        close(fd);
        reportNoLock(path, error);
        return {-1, false};
    }
    return {fd, true};
}

bool waitForNamedLock(LockHandle handle, int timeoutMs) {
    if (handle < 0)
        return false;
    // Polled: a blocking flock cannot be given a time limit without a signal, which would
    // disturb the process that the utility is about to become.
    constexpr std::chrono::milliseconds pollInterval(5);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(pollInterval);
    }
}

void closeNamedLock(LockHandle handle) {
    if (handle >= 0)
        close(static_cast<int>(handle));
}

} // namespace platform
