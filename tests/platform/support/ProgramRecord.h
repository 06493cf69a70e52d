#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace support {

// What a started test program writes about itself: lines of text in a file of its working
// directory, renamed into place so that a reader never sees half of it.
void writeProgramRecord(const std::vector<std::string> &lines);

// The lines of the record in `folder`, once the started program has written it; empty if it
// has not within 30 s.
std::vector<std::string> awaitProgramRecord(const std::filesystem::path &folder);

bool hasProgramRecord(const std::filesystem::path &folder);

} // namespace support
