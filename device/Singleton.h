#pragma once

#include <new>

// The one process-wide instance of T, made on first use. Every caller runs on the GUI
// thread, so there is no locking.
template <typename T> class Singleton {
public:
    // Null when the instance cannot be allocated (the next call tries again) and while the
    // instance is still being constructed: a constructor that opens a modal box keeps the
    // event loop turning, and a caller reached from there must not start a second one.
    static T *instance() {
        if (object != nullptr || constructing)
            return object;
        constructing = true;
        object = new (std::nothrow) T;
        constructing = false;
        return object;
    }

protected:
    Singleton() = default;
    ~Singleton() { object = nullptr; }

public:
    Singleton(const Singleton &) = delete;
    Singleton &operator=(const Singleton &) = delete;

private:
    static inline T *object = nullptr;
    static inline bool constructing = false;
};
