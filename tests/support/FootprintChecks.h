#pragma once

#include <string>
#include <utility>

namespace testsupport {

// What a process holds of the system, as the system counts it; -1 where it could not be read.
struct Footprint {
    long long memoryKiB = -1;
    // Open handles: file descriptors on Linux.
    long long handles = -1;
    long long threads = -1;
};

// The checks of a long run of plugs: from the first check on, the process grows in nothing, its
// handles and threads exactly as they were then, its memory within an allowance for its
// allocators to settle.
class FootprintChecks {
public:
    // `memoryName` and `handlesName` say what the system calls the two ("RSS", "descriptors");
    // without `checksMemory`, memory is only told.
    FootprintChecks(std::string memoryName, std::string handlesName, long long allowedGrowthKiB,
                    bool checksMemory = true)
        : m_memoryName(std::move(memoryName))
        , m_handlesName(std::move(handlesName))
        , m_allowedGrowthKiB(allowedGrowthKiB)
        , m_checksMemory(checksMemory) {}

    std::string text(const Footprint &footprint) const {
        return m_memoryName + " " + std::to_string(footprint.memoryKiB) + " KiB, " +
               std::to_string(footprint.handles) + " " + m_handlesName + ", " +
               std::to_string(footprint.threads) + " threads";
    }

    // Takes the footprint of a check; what grew since the first check, or nothing.
    std::string take(const Footprint &now) {
        if (!m_taken)
            m_first = now;
        m_taken = true;
        m_last = now;
        if (now.handles != m_first.handles)
            return changed(m_handlesName, now.handles, m_first.handles);
        if (now.threads != m_first.threads)
            return changed("threads", now.threads, m_first.threads);
        if (m_checksMemory && now.memoryKiB - m_first.memoryKiB > m_allowedGrowthKiB)
            return m_memoryName + " grew by " + std::to_string(now.memoryKiB - m_first.memoryKiB) +
                   " KiB";
        return {};
    }

    const Footprint &first() const { return m_first; }
    const Footprint &last() const { return m_last; }

private:
    static std::string changed(const std::string &what, long long now, long long first) {
        return std::to_string(now) + " " + what + ", where the first check had " +
               std::to_string(first);
    }

    const std::string m_memoryName;
    const std::string m_handlesName;
    const long long m_allowedGrowthKiB;
    const bool m_checksMemory;
    bool m_taken = false;
    Footprint m_first;
    Footprint m_last;
};

} // namespace testsupport
