#include "Platform.h"
#include "WideText.h"

#include <windows.h>

namespace platform {

// A mutex without a kernel-namespace prefix lives in the logon session's local namespace,
// which gives one instance per user session; the system drops it with its last handle,
// however the holder ended.
NamedLock createNamedLock(const std::string &name) {
    const std::wstring wideName = widen(name);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, wideName.c_str());
    const bool heldElsewhere = GetLastError() == ERROR_ALREADY_EXISTS;
    return {reinterpret_cast<LockHandle>(mutex), heldElsewhere};
}

void closeNamedLock(LockHandle handle) {
    if (handle != 0)
        CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace platform
