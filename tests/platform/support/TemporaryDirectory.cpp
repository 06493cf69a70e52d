#include "TemporaryDirectory.h"
#include "UniqueName.h"

namespace support {

TemporaryDirectory::TemporaryDirectory()
    : m_path(std::filesystem::temp_directory_path() / uniqueName("hlx-platform-test")) {
    std::filesystem::create_directory(m_path);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace support
