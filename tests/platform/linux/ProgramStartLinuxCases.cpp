#include "ChildProcess.h"
#include "Platform.h"
#include "PlatformTestMain.h"
#include "ProgramRecord.h"
#include "StdStringComparison.h"
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
int recordDescriptors(const std::vector<std::string> &) {
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
int recordAfterStarter(const std::vector<std::string> &arguments) {
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
int startAndExit(const std::vector<std::string> &) {
    const bool started =
        platform::startProgram(support::ChildProcess::programPath(),
                               "--helper record-after-starter " + std::to_string(::getpid()));
    std::cout << (started ? "started" : "not started") << std::endl;
    return 0;
}

class ProgramStartLinuxCases : public QObject {
    Q_OBJECT

private slots:
    void theStartedProgramInheritsNoneOfOurDescriptors() {
        const support::TemporaryDirectory folder;
        const support::WorkingDirectory inFolder(folder.path());
        // Inheritable on purpose: what careless code in the process might leave open.
        const int open = ::open((folder.path() / "held-open").c_str(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(open > STDERR_FILENO);
        const bool started = platform::startProgram(support::ChildProcess::programPath(),
                                                    "--helper record-descriptors");
        ::close(open);
        QVERIFY(started);

        const std::vector<std::string> inherited = support::awaitProgramRecord(folder.path());
        QVERIFY(support::hasProgramRecord(folder.path()));
        std::string list;
        for (const std::string &line : inherited)
            list += "\n    " + line;
        QVERIFY2(inherited.empty(), ("descriptors left open in the program:" + list).c_str());
    }

    void theProgramOutlivesItsStarterInASessionOfItsOwn() {
        const support::TemporaryDirectory folder;
        const support::WorkingDirectory inFolder(folder.path());
        support::ChildProcess starter({"start-and-exit"});
        QCOMPARE(starter.readLine(), std::string("started"));
        QCOMPARE(starter.wait(), 0);

        const std::vector<std::string> record = support::awaitProgramRecord(folder.path());
        QCOMPARE(record.size(), std::size_t(3));
        QCOMPARE(record[0], std::string("starter gone"));
        QVERIFY2(std::stol(record[2]) != ::getsid(0),
                 ("the program shares the test's session " + record[2]).c_str());
    }

    void aFileThatCannotBeExecutedIsReportedAsNotStarted() {
        const support::TemporaryDirectory folder;
        const std::filesystem::path plain = folder.path() / "not-a-program";
        std::ofstream(plain) << "#!/bin/sh\n";
        ::chmod(plain.c_str(), 0600);
        QVERIFY(!platform::startProgram(plain.string(), ""));
        QVERIFY(!platform::startProgram(folder.path().string(), ""));
    }
};

} // namespace

HLX_PLATFORM_TEST_MAIN(ProgramStartLinuxCases, {{"record-descriptors", recordDescriptors},
                                                {"record-after-starter", recordAfterStarter},
                                                {"start-and-exit", startAndExit}})

#include "ProgramStartLinuxCases.moc"
