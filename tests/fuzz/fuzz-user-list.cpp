#include "FuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return hlx::fuzz::runTarget(hlx::fuzz::readUserList, data, size);
}
