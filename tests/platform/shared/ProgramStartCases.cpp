#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"
#include "TemporaryDirectory.h"
#include "WorkingDirectory.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace {

const char kRecord[] = "started-program.txt";

// Writes its working directory and then its arguments, one a line, to kRecord in its working
// directory; renamed into place so that a reader never sees half of it.
TEST_HELPER("record") {
    const std::filesystem::path partial = std::string(kRecord) + ".partial";
    {
        std::ofstream out(partial);
        out << std::filesystem::current_path().string() << '\n';
        for (const std::string &argument : arguments)
            out << argument << '\n';
    }
    std::filesystem::rename(partial, kRecord);
    return 0;
}

// The lines of the record, once the started program has written it.
std::vector<std::string> awaitRecord(const std::filesystem::path &file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_CASE(programstart, "the program starts in our working directory with the parameters") {
    const support::TemporaryDirectory folder;
    const support::WorkingDirectory inFolder(folder.path());
    CHECK(platform::startProgram(support::ChildProcess::programPath(),
                                 "--helper record alpha  beta gamma"));

    const std::vector<std::string> lines = awaitRecord(folder.path() / kRecord);
    CHECK_MESSAGE(!lines.empty(), "the started program wrote nothing");
    CHECK_MESSAGE(std::filesystem::equivalent(lines.front(), folder.path()), lines.front());
    CHECK_EQUAL(lines.size(), std::size_t(4));
    CHECK_EQUAL(lines[1], std::string("alpha"));
    CHECK_EQUAL(lines[2], std::string("beta"));
    CHECK_EQUAL(lines[3], std::string("gamma"));
}

TEST_CASE(programstart, "a program that is not there is reported as not started") {
    const support::TemporaryDirectory folder;
    CHECK(!platform::startProgram((folder.path() / "no-such-program").string(), "--flag"));
}

} // namespace
