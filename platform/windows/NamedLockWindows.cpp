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

bool waitForNamedLock(LockHandle handle, int timeoutMs) {
    if (handle == 0)
        return false;
    // An abandoned mutex is the holder that ended without releasing it: ours all the same.
    const DWORD result =
        WaitForSingleObject(reinterpret_cast<HANDLE>(handle), static_cast<DWORD>(timeoutMs));
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void closeNamedLock(LockHandle handle) {
    if (handle != 0)
        CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace platform
