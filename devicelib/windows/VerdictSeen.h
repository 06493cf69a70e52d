#pragma once

#include "Verdict.h"

#include <functional>
#include <string>

namespace hlx::windows {

// Hears of each device a link looks at, by its instance id, with the judge's verdict on it.
using VerdictSeen =
    std::function<void(const std::string &instanceId, const headsets::Verdict &verdict)>;

} // namespace hlx::windows
