#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// This test program once more, as a second process in one of its helper modes, with pipes to
// its standard input and output. Ended and waited for on destruction if still running.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string> &helperArguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The path of the running test program, as the system spells it.
    static std::string programPath();

    // One line of the helper's output without its line end; empty at the end of the output.
    std::string readLine();
    // The helper sees the end of its input: the helpers' cue to finish.
    void closeInput();
    // Ends the helper at once, as a crash would: it cleans nothing up.
    void kill();
    // Its exit status, once it has ended.
    int wait();

private:
    std::intptr_t m_process = 0;
    std::intptr_t m_input = -1;
    std::intptr_t m_output = -1;
    bool m_ended = false;
    int m_status = -1;
};

} // namespace support
