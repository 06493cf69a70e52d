#include "CaseRegistry.h"

#include <cstdio>
#include <exception>
#include <iostream>

namespace checks {

namespace {

bool selected(const std::string &name, const std::string &selection) {
    if (selection.empty() || name == selection)
        return true;
    return name.compare(0, selection.size() + 1, selection + '/') == 0;
}

} // namespace

std::string printable(const std::string &text) {
    std::string shown = "\"";
    for (const char c : text) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else
            shown += c;
    }
    return shown + '"';
}

std::string printable(const char *text) {
    return text != nullptr ? printable(std::string(text)) : std::string("(null)");
}

std::string printable(const std::wstring &text) {
    std::string utf8;
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return printable(utf8);
}

std::string printable(bool value) {
    return value ? "true" : "false";
}

CaseRegistry &CaseRegistry::instance() {
    static CaseRegistry registry;
    return registry;
}

bool CaseRegistry::addCase(std::string name, Case body) {
    m_cases.emplace_back(std::move(name), body);
    return true;
}

bool CaseRegistry::addHelper(std::string mode, Helper body) {
    m_helpers.emplace_back(std::move(mode), body);
    return true;
}

int CaseRegistry::run(int argc, char *argv[]) const {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "--helper" && arguments.size() >= 2)
        return runHelper(arguments[1], {arguments.begin() + 2, arguments.end()});
    return runCases(arguments.empty() ? std::string() : arguments.front());
}

int CaseRegistry::runCases(const std::string &selection) const {
    int passed = 0;
    int failed = 0;
    for (const auto &[name, body] : m_cases) {
        if (!selected(name, selection))
            continue;
        try {
            body();
            std::cout << "PASS   " << name << std::endl;
            ++passed;
        } catch (const Failure &failure) {
            std::cout << "FAIL!  " << name << "\n   " << failure.file << ':' << failure.line << ": "
                      << failure.message << std::endl;
            ++failed;
        } catch (const std::exception &error) {
            std::cout << "FAIL!  " << name << "\n   exception: " << error.what() << std::endl;
            ++failed;
        }
    }
    std::cout << passed << " passed, " << failed << " failed" << std::endl;
    if (passed + failed == 0) {
        std::cout << "no case matches '" << selection << "'" << std::endl;
        return 1;
    }
    return failed == 0 ? 0 : 1;
}

int CaseRegistry::runHelper(const std::string &mode,
                            const std::vector<std::string> &arguments) const {
    for (const auto &[name, body] : m_helpers) {
        if (name == mode)
            return body(arguments);
    }
    std::cerr << "no helper mode '" << mode << "'" << std::endl;
    return 2;
}

} // namespace checks
