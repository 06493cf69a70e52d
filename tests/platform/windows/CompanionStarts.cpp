#include "CompanionStarts.h"
#include "UtilityProcess.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace support {

namespace {

constexpr wchar_t kRecordVariable[] = L"HLX_COMPANION_RECORD";

bool isStartOf(const std::string &line, const std::string &program) {
    return line.find("\"program\":\"" + program + "\"") != std::string::npos;
}

} // namespace

CompanionStarts::CompanionStarts(std::filesystem::path file)
    : m_file(std::move(file)) {
    SetEnvironmentVariableW(kRecordVariable, m_file.wstring().c_str());
}

CompanionStarts::~CompanionStarts() {
    SetEnvironmentVariableW(kRecordVariable, nullptr);
    for (const std::string &line : lines()) {
        const std::size_t at = line.find("\"pid\":");
        if (at == std::string::npos)
            continue;
        const DWORD id = std::stoul(line.substr(at + 6));
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
}

bool CompanionStarts::waitFor(const std::vector<std::string> &programs) const {
    return support::waitFor(30000, [&] {
        for (const std::string &program : programs) {
            if (record(program).empty())
                return false;
        }
        return true;
    });
}

std::string CompanionStarts::record(const std::string &program) const {
    for (const std::string &line : lines()) {
        if (isStartOf(line, program))
            return line;
    }
    return {};
}

// Only whole lines: a companion may be writing the next one.
std::vector<std::string> CompanionStarts::lines() const {
    std::istringstream text(readText(m_file));
    std::vector<std::string> whole;
    std::string line;
    while (std::getline(text, line)) {
        if (!text.eof())
            whole.push_back(line);
    }
    return whole;
}

std::string readText(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace support
