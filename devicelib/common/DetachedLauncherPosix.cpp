#include "DetachedLauncher.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hlx {

namespace {

// Between fork and exec only async-signal-safe calls are allowed: the caller may run other
// threads, whose locks the child inherits in whatever state they were.

[[noreturn]] void reportAndExit(int errorPipe, int error) {
    // Nothing useful is left to do if the report itself fails; the parent then sees a start.
    [[maybe_unused]] const ssize_t written = ::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

[[noreturn]] void execCapturer(const char *path, char *const argv[], int devNull, int errorPipe) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (devNull < 0)
        ::close(STDIN_FILENO);
    else if (devNull == STDIN_FILENO)
        ::fcntl(STDIN_FILENO, F_SETFD, 0);
    else
        ::dup2(devNull, STDIN_FILENO);
    // The caller's own descriptors, such as its X connection or its single-instance lock, must
    // not live on in a program that may outlast it.
    ::close_range(STDERR_FILENO + 1, ~0u, CLOSE_RANGE_CLOEXEC);
    ::execv(path, argv);
    reportAndExit(errorPipe, errno);
}

// True if the child reported why it could not exec; end of file means the exec went through.
bool execFailed(int errorPipe) {
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(errorPipe, &error, sizeof error);
        if (got >= 0)
            return got > 0;
        if (errno != EINTR)
            return true;
    }
}

} // namespace

DetachedLauncher::Result DetachedLauncher::start(const std::string &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Result::Missing;

    // Prepared before forking, since the child may not allocate.
    std::string argv0 = path;
    char *const argv[] = {argv0.data(), nullptr};
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        if (devNull >= 0)
            ::close(devNull);
        return Result::Failed;
    }

    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        // A session of its own, and a parent that is gone at once, so that the capturer is
        // adopted away from the caller and no terminal signal of the caller reaches it.
        ::setsid();
        const pid_t capturer = ::fork();
        if (capturer < 0)
            reportAndExit(errorPipe[1], errno);
        if (capturer > 0)
            ::_exit(0);
        execCapturer(argv0.c_str(), argv, devNull, errorPipe[1]);
    }
    ::close(errorPipe[1]);
    if (devNull >= 0)
        ::close(devNull);
    bool failed = intermediate < 0;
    if (!failed) {
        // Exits straight away; reaping it leaves no zombie behind in the caller.
        while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
        }
        failed = execFailed(errorPipe[0]);
    }
    ::close(errorPipe[0]);
    return failed ? Result::Failed : Result::Started;
}

} // namespace hlx
