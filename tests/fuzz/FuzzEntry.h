#pragma once

#include "ParserTargets.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace hlx::fuzz {

// What each fuzzer's LLVMFuzzerTestOneInput does: a wrong answer ends the run like a crash, so
// that libFuzzer keeps the input that gave it.
inline int runTarget(std::string (*target)(std::string_view), const uint8_t *data, size_t size) {
    const std::string problem =
        target(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}

} // namespace hlx::fuzz
