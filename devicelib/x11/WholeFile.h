#pragma once

#include <string>

namespace hlx {

// The whole content of a file, read with plain system calls so that a test's umockdev preload can
// redirect sysfs paths. False if the file cannot be opened or read to its end, with errno saying
// why.
bool readWholeFile(const std::string &path, std::string &content);

} // namespace hlx
