#include "SessionLock.h"

#include <windows.h>

namespace {

class MutexLock final : public SessionLock {
public:
    explicit MutexLock(HANDLE mutex)
        : m_mutex(mutex) {}
    ~MutexLock() override {
        if (m_mutex)
            CloseHandle(m_mutex);
    }

private:
    HANDLE m_mutex;
};

} // namespace

std::unique_ptr<SessionLock> SessionLock::take() {
    // Local\: one per logon session, which is one desktop. Held by existing, not by ownership:
    // the system drops it with the last handle, however the process ends.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\HLX_DisplayCapturer");
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    // Without the mutex a second capturer is a lesser evil than none.
    return std::make_unique<MutexLock>(mutex);
}
