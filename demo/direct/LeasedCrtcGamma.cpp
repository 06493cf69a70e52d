#include "LeasedCrtcGamma.h"

#include <xf86drmMode.h>

LeasedCrtcGamma::LeasedCrtcGamma(int drmFd, uint32_t crtc, uint32_t size)
    : m_fd(drmFd)
    , m_crtc(crtc)
    , m_size(size) {}

std::optional<hlx::GammaRamp> LeasedCrtcGamma::read(const std::string &) {
    if (m_size == 0)
        return std::nullopt;
    hlx::GammaRamp ramp;
    ramp.red.resize(m_size);
    ramp.green.resize(m_size);
    ramp.blue.resize(m_size);
    if (drmModeCrtcGetGamma(m_fd, m_crtc, m_size, ramp.red.data(), ramp.green.data(),
                            ramp.blue.data()) != 0)
        return std::nullopt;
    return ramp;
}

bool LeasedCrtcGamma::write(const std::string &, const hlx::GammaRamp &ramp) {
    if (ramp.size() != m_size || ramp.green.size() != m_size || ramp.blue.size() != m_size)
        return false;
    // libdrm takes the channels as writable, though it only reads them.
    hlx::GammaRamp copy = ramp;
    return drmModeCrtcSetGamma(m_fd, m_crtc, m_size, copy.red.data(), copy.green.data(),
                               copy.blue.data()) == 0;
}
