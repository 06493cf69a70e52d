#include "Platform.h"
#include "RuntimeDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

NamedLock createNamedLock(const std::string &name) {
    const std::string folder = runtimeDirectory();
    if (folder.empty())
        return {-1, false};

    const std::string path =
        folder + '/' + name + '@' + displayKey(std::getenv("DISPLAY")) + ".lock";
    // Close-on-exec keeps programs we start from inheriting the lock and outliving us with it.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return {-1, false};

    // The kernel drops an flock when its last descriptor closes, also when the process is
    // killed, so a crashed instance never blocks the next start.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return {fd, false};
    const bool heldElsewhere = errno == EWOULDBLOCK;
    if (!heldElsewhere) {
        close(fd);
        return {-1, false};
    }
    return {fd, true};
}

void closeNamedLock(LockHandle handle) {
    if (handle >= 0)
        close(static_cast<int>(handle));
}

} // namespace platform
