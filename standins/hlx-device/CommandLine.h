#pragma once

#include "DeviceMessages.h"

#include <string>
#include <vector>

namespace hlx {

// hlx-device's arguments, checked as a whole before anything is sent.
class CommandLine {
public:
    enum class Action { Run, Help, UsageError };

    struct Command {
        std::string word;
        // Sent in this order; empty for status, which sends nothing.
        std::vector<const DeviceMessage *> messages;
    };

    static CommandLine parse(int argc, const char *const argv[]);
    static std::string usage();

    Action action() const { return m_action; }
    const std::string &error() const { return m_error; }
    // Null for $DISPLAY.
    const char *displayName() const { return m_hasDisplayName ? m_displayName.c_str() : nullptr; }
    int repeat() const { return m_repeat; }
    const std::vector<Command> &commands() const { return m_commands; }

private:
    bool addCommand(const std::string &word);
    bool setRepeat(const std::string &value);
    CommandLine &fail(std::string error);

    Action m_action = Action::Run;
    std::string m_error;
    std::string m_displayName;
    bool m_hasDisplayName = false;
    int m_repeat = 1;
    std::vector<Command> m_commands;
};

} // namespace hlx
