#include "Platform.h"

#include <cerrno>
#include <csignal>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

std::vector<std::string> splitAtBlanks(const std::string &text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    std::string word;
    while (stream >> word)
        words.push_back(word);
    return words;
}

// Between fork and exec only async-signal-safe calls are allowed: the toolkit runs other
// threads, whose locks the child inherits in whatever state they were.
[[noreturn]] void execProgram(const char *path, char *const argv[], int errorPipe) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // A started program may outlive the utility: none of the utility's descriptors (its X
    // connection, its single-instance lock) may live on in it.
    ::close_range(STDERR_FILENO + 1, ~0u, CLOSE_RANGE_CLOEXEC);
    ::execv(path, argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

// End of file on the pipe means the exec went through; a number is the child's errno.
bool execSucceeded(int errorPipe) {
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(errorPipe, &error, sizeof error);
        if (got >= 0)
            return got == 0;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

bool startProgram(const std::string &path, const std::string &parameters) {
    // Everything the child needs is prepared before forking, since it may not allocate.
    std::vector<std::string> arguments = splitAtBlanks(parameters);
    arguments.insert(arguments.begin(), path);
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return false;
    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        // Its own session and a parent that is gone at once: the program is adopted away
        // from the utility, and no terminal signal meant for the utility reaches it.
        ::setsid();
        const pid_t program = ::fork();
        if (program != 0)
            ::_exit(program < 0 ? 1 : 0);
        execProgram(path.c_str(), argv.data(), errorPipe[1]);
    }
    ::close(errorPipe[1]);
    bool started = false;
    if (intermediate > 0) {
        int status = 0;
        while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
        }
        started = execSucceeded(errorPipe[0]) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    ::close(errorPipe[0]);
    return started;
}

} // namespace platform
