#pragma once

#include <string_view>

namespace hlx {

// Delivers registered window messages to every top-level window of the session, hidden ones
// included, as the headset's side does: receivers announce no window of their own.
class Broadcaster {
public:
    // Waiting returns only once each window has handled the message, or given up on one
    // that hangs; otherwise the message is queued and the call returns at once.
    explicit Broadcaster(bool wait)
        : m_wait(wait) {}

    bool send(std::string_view name) const;

private:
    bool m_wait;
};

} // namespace hlx
