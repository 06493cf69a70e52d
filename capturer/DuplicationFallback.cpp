#include "DuplicationFallback.h"

#include <algorithm>

namespace {

// A duplication that worked and is lost (a desktop switch, a mode change) is usually to be had
// again at once: one more try after this long, with the last picture kept meanwhile.
constexpr int kLostRetryMs = 500;
// While copying, duplication is tried again after this long, then twice as long each time it
// fails, up to the slowest pace: what refuses it (other programs duplicating the output, a remote
// session) tends to last, and each try asks the system's display driver.
constexpr int kFirstCopyingRetryMs = 1000;
constexpr int kSlowestCopyingRetryMs = 8000;

} // namespace

void DuplicationFallback::begin() {
    m_way = Way::Duplication;
    m_worked = false;
    m_failuresInARow = 0;
    m_retryMs = 0;
    m_nextCopyingRetryMs = kFirstCopyingRetryMs;
}

void DuplicationFallback::made() {
    m_way = Way::Duplication;
    m_retryMs = 0;
}

void DuplicationFallback::working() {
    m_worked = true;
    m_failuresInARow = 0;
    m_nextCopyingRetryMs = kFirstCopyingRetryMs;
}

void DuplicationFallback::failed() {
    ++m_failuresInARow;
    if (m_way == Way::Duplication && m_worked && m_failuresInARow == 1) {
        m_retryMs = kLostRetryMs;
        return;
    }
    m_way = Way::Copying;
    m_retryMs = m_nextCopyingRetryMs;
    m_nextCopyingRetryMs = std::min(2 * m_nextCopyingRetryMs, kSlowestCopyingRetryMs);
}
