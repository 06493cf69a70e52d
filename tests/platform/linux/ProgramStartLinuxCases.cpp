#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"
#include "ProgramRecord.h"
#include "TemporaryDirectory.h"
#include "WorkingDirectory.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Records the descriptors it was started with beyond the standard three.
TEST_HELPER("record-descriptors") {
    std::vector<std::string> inherited;
    for (int fd = STDERR_FILENO + 1; fd < 1024; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1)
            inherited.push_back(
                std::to_string(fd) + " -> " +
                std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)).string());
    }
    support::writeProgramRecord(inherited);
    return 0;
}

// Waits until the process `arguments[0]` is gone, then records its parent and session.
TEST_HELPER("record-after-starter") {
    const pid_t starter = static_cast<pid_t>(std::stol(arguments.at(0)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (::kill(starter, 0) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool starterGone = ::kill(starter, 0) != 0 && errno == ESRCH;
    support::writeProgramRecord({starterGone ? "starter gone" : "starter still there",
                                 std::to_string(::getppid()), std::to_string(::getsid(0))});
    return 0;
}

// Starts a program that outlives it, says its own process id and ends.
TEST_HELPER("start-and-exit") {
    const bool started =
        platform::startProgram(support::ChildProcess::programPath(),
                               "--helper record-after-starter " + std::to_string(::getpid()));
    std::cout << (started ? "started" : "not started") << std::endl;
    return 0;
}

TEST_CASE(programstart_linux, "the started program inherits none of our descriptors") {
    const support::TemporaryDirectory folder;
    const support::WorkingDirectory inFolder(folder.path());
    // Inheritable on purpose: what careless code in the process might leave open.
    const int open = ::open((folder.path() / "held-open").c_str(), O_WRONLY | O_CREAT, 0600);
    CHECK(open > STDERR_FILENO);
    const bool started =
        platform::startProgram(support::ChildProcess::programPath(), "--helper record-descriptors");
    ::close(open);
    CHECK(started);

    const std::vector<std::string> inherited = support::awaitProgramRecord(folder.path());
    CHECK(support::hasProgramRecord(folder.path()));
    std::string list;
    for (const std::string &line : inherited)
        list += "\n    " + line;
    CHECK_MESSAGE(inherited.empty(), "descriptors left open in the program:" << list);
}

TEST_CASE(programstart_linux, "the program outlives its starter, in a session of its own") {
    const support::TemporaryDirectory folder;
    const support::WorkingDirectory inFolder(folder.path());
    support::ChildProcess starter({"start-and-exit"});
    CHECK_EQUAL(starter.readLine(), std::string("started"));
    CHECK_EQUAL(starter.wait(), 0);

    const std::vector<std::string> record = support::awaitProgramRecord(folder.path());
    CHECK_EQUAL(record.size(), std::size_t(3));
    CHECK_EQUAL(record[0], std::string("starter gone"));
    CHECK_MESSAGE(std::stol(record[2]) != ::getsid(0),
                  "the program shares the test's session " << record[2]);
}

TEST_CASE(programstart_linux, "a file that cannot be executed is reported as not started") {
    const support::TemporaryDirectory folder;
    const std::filesystem::path plain = folder.path() / "not-a-program";
    std::ofstream(plain) << "#!/bin/sh\n";
    ::chmod(plain.c_str(), 0600);
    CHECK(!platform::startProgram(plain.string(), ""));
    CHECK(!platform::startProgram(folder.path().string(), ""));
}

} // namespace
