#pragma once

#include <memory>

// Held for the capturer's lifetime, so that a session runs one capturer however often the device
// library is asked to start one. Each system has its own.
class SessionLock {
public:
    virtual ~SessionLock() = default;

    // Null if another capturer of this session holds it already.
    static std::unique_ptr<SessionLock> take();
};
