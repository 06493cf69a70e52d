#pragma once

#include "DisplayGamma.h"

#include <cstdint>

// The gamma table of the CRTC that the demo holds leased, set through the lease's DRM
// descriptor: no X client can reach it while the lease lasts. There is one display here, so the
// output's name is not looked at.
class LeasedCrtcGamma final : public hlx::DisplayGamma {
public:
    LeasedCrtcGamma(int drmFd, uint32_t crtc, uint32_t size);

    std::optional<hlx::GammaRamp> read(const std::string &output) override;
    bool write(const std::string &output, const hlx::GammaRamp &ramp) override;
    // The kernel hands a CRTC's table back as it was given.
    int readBackTolerance() const override { return 0; }

private:
    int m_fd;
    uint32_t m_crtc;
    uint32_t m_size;
};
