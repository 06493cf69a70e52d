#include "RandrDisplayGamma.h"

#include "RandrOutputs.h"
#include "XConnection.h"

#include <cstdlib>
#include <memory>

namespace hlx {

namespace {

xcb_randr_crtc_t crtcOf(XConnection &x, const std::string &output) {
    const RandrOutputs outputs(x.get(), x.root());
    const RandrOutputs::Output *found = outputs.find(output);
    return found ? found->crtc : xcb_randr_crtc_t{XCB_NONE};
}

} // namespace

std::optional<GammaRamp> RandrDisplayGamma::read(const std::string &output) {
    XConnection x(nullptr);
    if (!x.isValid())
        return std::nullopt;
    const xcb_randr_crtc_t crtc = crtcOf(x, output);
    if (crtc == XCB_NONE)
        return std::nullopt;
    const std::unique_ptr<xcb_randr_get_crtc_gamma_reply_t, decltype(&std::free)> reply(
        xcb_randr_get_crtc_gamma_reply(x.get(), xcb_randr_get_crtc_gamma(x.get(), crtc), nullptr),
        &std::free);
    if (!reply)
        return std::nullopt;
    const auto channel = [size = reply->size](const uint16_t *values) {
        return std::vector<uint16_t>(values, values + size);
    };
    return GammaRamp{channel(xcb_randr_get_crtc_gamma_red(reply.get())),
                     channel(xcb_randr_get_crtc_gamma_green(reply.get())),
                     channel(xcb_randr_get_crtc_gamma_blue(reply.get()))};
}

bool RandrDisplayGamma::write(const std::string &output, const GammaRamp &ramp) {
    XConnection x(nullptr);
    if (!x.isValid())
        return false;
    const xcb_randr_crtc_t crtc = crtcOf(x, output);
    if (crtc == XCB_NONE || ramp.green.size() != ramp.size() || ramp.blue.size() != ramp.size())
        return false;
    // Checked, so that a table of the wrong size for this CRTC is told rather than lost.
    const std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
        xcb_request_check(x.get(), xcb_randr_set_crtc_gamma_checked(
                                       x.get(), crtc, static_cast<uint16_t>(ramp.size()),
                                       ramp.red.data(), ramp.green.data(), ramp.blue.data())),
        &std::free);
    return !error;
}

} // namespace hlx
