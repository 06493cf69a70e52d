#include "Check.h"
#include "ChildProcess.h"
#include "Platform.h"
#include "ProgramRecord.h"
#include "TemporaryDirectory.h"
#include "WorkingDirectory.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

// Records its working directory and then its arguments, one a line.
TEST_HELPER("record") {
    std::vector<std::string> lines{std::filesystem::current_path().string()};
    lines.insert(lines.end(), arguments.begin(), arguments.end());
    support::writeProgramRecord(lines);
    return 0;
}

TEST_CASE(programstart, "the program starts in our working directory with the parameters") {
    const support::TemporaryDirectory folder;
    const support::WorkingDirectory inFolder(folder.path());
    CHECK(platform::startProgram(support::ChildProcess::programPath(),
                                 "--helper record alpha  beta gamma"));

    const std::vector<std::string> lines = support::awaitProgramRecord(folder.path());
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
