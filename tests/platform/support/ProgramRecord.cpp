#include "ProgramRecord.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace support {

namespace {

const char kRecord[] = "started-program.txt";

} // namespace

void writeProgramRecord(const std::vector<std::string> &lines) {
    const std::string partial = std::string(kRecord) + ".partial";
    {
        std::ofstream out(partial);
        for (const std::string &line : lines)
            out << line << '\n';
    }
    std::filesystem::rename(partial, kRecord);
}

std::vector<std::string> awaitProgramRecord(const std::filesystem::path &folder) {
    const std::filesystem::path file = folder / kRecord;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool hasProgramRecord(const std::filesystem::path &folder) {
    return std::filesystem::exists(folder / kRecord);
}

} // namespace support
