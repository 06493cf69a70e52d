#pragma once

#include <cstdint>
#include <string>

// The operating-system services the utility needs, in standard C++ only so that every
// backend builds without Qt. Exactly one backend is compiled in, chosen by the build.
namespace platform {

// Opaque handle of a named lock; only the backend knows what it holds.
using LockHandle = std::intptr_t;

struct NamedLock {
    LockHandle handle;
    // True when another process of this user (on this display) already holds the lock.
    bool heldElsewhere;
};

// Creates and takes the named lock for the life of the process. A lock that cannot be
// created at all is reported as not held elsewhere, so the caller goes on as the first
// instance rather than refusing to start; where the system can say why, one line of
// debugger output does.
NamedLock createNamedLock(const std::string &name);

// Waits up to `timeoutMs` for the holder of a lock that createNamedLock found held elsewhere
// to give it up, and takes it then. Returns whether this process now holds the lock.
bool waitForNamedLock(LockHandle handle, int timeoutMs);

// Gives up a lock handle that createNamedLock returned.
void closeNamedLock(LockHandle handle);

// Brings forward the top-level window that Qt created for `applicationName` with the
// title `title` (UTF-8). A hidden window stays hidden. On X11 a minimised one is restored;
// on Windows it is only made the foreground window, as it stays minimised there. Returns
// whether one was found.
bool bringWindowToFront(const std::string &applicationName, const std::string &title);

// Opaque handle of a loaded shared library; null when loading failed.
using LibraryHandle = void *;

// The device library's file name on this system.
std::string deviceLibraryFileName();

// Loads a library by its bare file name through the system's standard search. On failure
// returns null and keeps the reason as this thread's last error.
LibraryHandle loadLibrary(const std::string &fileName);

// The address of an export, or null, keeping the reason as this thread's last error.
void *resolveSymbol(LibraryHandle library, const char *name);

// The modal "Error" box for this thread's last error, with no owner and one OK button:
// "<what> failed with error <code>: <system text>". Returns once it is dismissed.
void reportLastError(const std::string &what);

// One line of debugger output (on Linux: standard error).
void writeDebugOutput(const std::string &text);

// What a native event of the toolkit carries for the device link.
struct NativeMessage {
    // False for event types this system's toolkit does not use for native messages.
    bool isNative;
    // Only window messages carry a number; other native events match no device message.
    bool hasNumber;
    std::uint32_t number;
};

NativeMessage readNativeMessage(const char *eventType, const void *message);

// Asks the system to start a program and returns without waiting for it: detached, in this
// process's working directory, with `parameters` as its command line (split at blanks
// where the system passes arguments one by one). Where the system has show commands, the
// program's window is forced minimised. Returns whether the system took the start; callers
// that report nothing may ignore it.
bool startProgram(const std::string &path, const std::string &parameters);

} // namespace platform
