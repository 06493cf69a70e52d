#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace support {

// The starts that the companion stand-ins record, one line of JSON each, in `file`: programs
// started while the object lives are told to record there, and every program that recorded
// itself is ended when it goes, so that a case leaves no demo running.
class CompanionStarts {
public:
    explicit CompanionStarts(std::filesystem::path file);
    ~CompanionStarts();
    CompanionStarts(const CompanionStarts &) = delete;
    CompanionStarts &operator=(const CompanionStarts &) = delete;

    // Whether each of these programs recorded a start within 30 s.
    bool waitFor(const std::vector<std::string> &programs) const;
    // The record of the program's first start, empty if it has none.
    std::string record(const std::string &program) const;

private:
    std::vector<std::string> lines() const;

    std::filesystem::path m_file;
};

std::string readText(const std::filesystem::path &file);

} // namespace support
