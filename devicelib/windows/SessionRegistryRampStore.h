#pragma once

#include "OwnRampStore.h"

namespace hlx::windows {

// Each display's own table as a value of a volatile registry key of the current user, one key
// for each session (HKEY_CURRENT_USER\Software\hlx-config\Eyeshield\<session id>). Volatile
// keys go when the user's session ends, as the tables set in it do; those of them that this made
// leave nothing behind.
class SessionRegistryRampStore final : public OwnRampStore {
public:
    // Under HKEY_CURRENT_USER, with the session's id under it.
    static constexpr const wchar_t *registryKey = L"Software\\hlx-config\\Eyeshield";

    std::optional<GammaRamp> recall(const HeadsetDisplay &display) override;
    bool keep(const HeadsetDisplay &display, const GammaRamp &own) override;
    void forget(const HeadsetDisplay &display) override;
};

} // namespace hlx::windows
