#pragma once

#include "OwnRampStore.h"

// The leased CRTC's own table: the one it had when the lease was taken. No other program can set
// it while the lease lasts, so it stays the display's own until the lease ends, switched off or
// not, and nothing needs to outlive the demo: the CRTC is given it back before the lease goes.
class LeaseOwnRampStore final : public hlx::OwnRampStore {
public:
    explicit LeaseOwnRampStore(hlx::GammaRamp own)
        : m_own(std::move(own)) {}

    std::optional<hlx::GammaRamp> recall(const hlx::HeadsetDisplay &) override { return m_own; }
    bool keep(const hlx::HeadsetDisplay &, const hlx::GammaRamp &) override { return true; }
    void forget(const hlx::HeadsetDisplay &) override {}

private:
    const hlx::GammaRamp m_own;
};
