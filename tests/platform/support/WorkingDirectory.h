#pragma once

#include <filesystem>

namespace support {

// Makes `path` the process's working directory until destruction, which restores the old one.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path &path)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~WorkingDirectory() { std::filesystem::current_path(m_previous); }
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

private:
    std::filesystem::path m_previous;
};

} // namespace support
