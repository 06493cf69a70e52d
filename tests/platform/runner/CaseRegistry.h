#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace checks {

struct Failure {
    const char *file;
    int line;
    std::string message;
};

// Wide texts are shown as UTF-8, and control characters escaped, so that a difference in a
// line end is visible.
std::string printable(const std::wstring &text);
std::string printable(const std::string &text);
std::string printable(const char *text);
std::string printable(bool value);
template <typename Number> std::string printable(Number value) {
    return std::to_string(value);
}

// Collects the cases and helper modes of the program and runs them: with no argument every
// case, with one a group ("namedlock") or a single case ("namedlock/closing releases"), with
// "--helper MODE ..." the helper. Prints one line per case and a closing count; the exit
// status is non-zero when a case failed or none was selected.
class CaseRegistry {
public:
    using Case = void (*)();
    using Helper = int (*)(const std::vector<std::string> &arguments);

    static CaseRegistry &instance();

    bool addCase(std::string name, Case body);
    bool addHelper(std::string mode, Helper body);
    int run(int argc, char *argv[]) const;

private:
    int runCases(const std::string &selection) const;
    int runHelper(const std::string &mode, const std::vector<std::string> &arguments) const;

    std::vector<std::pair<std::string, Case>> m_cases;
    std::vector<std::pair<std::string, Helper>> m_helpers;
};

} // namespace checks
