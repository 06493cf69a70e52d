#include "ChildProcess.h"

#include <csignal>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace support {

ChildProcess::ChildProcess(const std::vector<std::string> &helperArguments) {
    std::vector<std::string> arguments{programPath(), "--helper"};
    arguments.insert(arguments.end(), helperArguments.begin(), helperArguments.end());
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for the helper");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork the helper");
    if (pid == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    m_process = pid;
    m_input = input[1];
    m_output = output[0];
}

ChildProcess::~ChildProcess() {
    if (!m_ended) {
        kill();
        wait();
    }
    closeInput();
    ::close(static_cast<int>(m_output));
}

std::string ChildProcess::programPath() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path)
        throw std::runtime_error("cannot find the test program's path");
    return std::string(path, static_cast<std::size_t>(length));
}

std::string ChildProcess::readLine() {
    std::string line;
    char c = 0;
    while (::read(static_cast<int>(m_output), &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

void ChildProcess::closeInput() {
    if (m_input >= 0)
        ::close(static_cast<int>(m_input));
    m_input = -1;
}

void ChildProcess::kill() {
    ::kill(static_cast<pid_t>(m_process), SIGKILL);
}

int ChildProcess::wait() {
    if (!m_ended) {
        int status = 0;
        ::waitpid(static_cast<pid_t>(m_process), &status, 0);
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_ended = true;
    }
    return m_status;
}

} // namespace support
