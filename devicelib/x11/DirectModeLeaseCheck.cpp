#include "DirectModeLeaseCheck.h"

#include "DirectModeHolder.h"
#include "DirectModeProtocol.h"
#include "DirectModeShieldRequest.h"
#include "EntryResults.h"
#include "RandrLease.h"
#include "XConnection.h"

#include <cstdlib>
#include <memory>

namespace hlx {

namespace {

template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPointer<Reply> owned(Reply *reply) {
    return ReplyPointer<Reply>(reply, &std::free);
}

enum class Offer { NoLeases, NoOutput, Lent, Offered };

// The X server hides a lent output's CRTCs and modes from every client, and lists at least one
// CRTC for any other: that tells a lease without taking one.
Offer offerOf(XConnection &x, const std::string &outputName) {
    const auto version = owned(
        xcb_randr_query_version_reply(x.get(), xcb_randr_query_version(x.get(), 1, 6), nullptr));
    if (!version || version->major_version < 1 ||
        (version->major_version == 1 && version->minor_version < 6))
        return Offer::NoLeases;
    const auto resources = owned(xcb_randr_get_screen_resources_current_reply(
        x.get(), xcb_randr_get_screen_resources_current(x.get(), x.root()), nullptr));
    if (!resources)
        return Offer::NoOutput;
    const xcb_randr_output_t *ids = xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    for (int i = 0; i < count; ++i) {
        const auto info = owned(xcb_randr_get_output_info_reply(
            x.get(), xcb_randr_get_output_info(x.get(), ids[i], resources->config_timestamp),
            nullptr));
        if (!info ||
            std::string(reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
                        size_t(xcb_randr_get_output_info_name_length(info.get()))) != outputName)
            continue;
        return info->num_crtcs == 0 ? Offer::Lent : Offer::Offered;
    }
    return Offer::NoOutput;
}

// What HLX_EnableEyeshield answers while our demo holds the display, asked as the library asks
// it: the user's present choice sent again, which the demo shows as it already does.
int shieldAnswer(XConnection &x, const HeadsetDisplay &display) {
    const std::optional<ShieldPair> wanted =
        shieldPairProperty(x, x.root(), x.internAtom(directmode::shieldWantedAtom));
    switch (DirectModeShieldRequest::send(display, wanted ? int(wanted->level) : 0)) {
    case DeviceSystem::LeasedShield::Shown:
        return entryResult::ok;
    case DeviceSystem::LeasedShield::Refused:
        return entryResult::failed;
    case DeviceSystem::LeasedShield::NotHeld:
        break;
    }
    return entryResult::notOnDesktop;
}

} // namespace

DirectModeLease directModeLeaseCheck(const HeadsetDisplay &display, bool tryLease) {
    XConnection x(nullptr);
    if (!x.isValid())
        return {"unknown; the X display cannot be reached"};
    const std::string &output = display.output;
    const std::optional<DirectModeHolder> holder = DirectModeHolder::find(x);
    if (holder && holder->output == output)
        return {"held by the demo, which shows on it", true, shieldAnswer(x, display)};
    switch (offerOf(x, output)) {
    case Offer::NoLeases:
        return {"none to be had: the X server has no RandR 1.6 leases"};
    case Offer::NoOutput:
        return {"none to be had: the X server has no output " + output};
    case Offer::Lent:
        return {"held by another program: the X server has lent " + output + " out"};
    case Offer::Offered:
        break;
    }
    if (!tryLease)
        return {"offered by the X server, and lent to no program now (not tried: "
                "hlx-headsets --try-lease takes one and frees it at once)"};
    RandrLease lease = RandrLease::take(x.get(), x.root(), output);
    if (!lease.isHeld())
        return {"refused: " + lease.refusal()};
    lease.free();
    return {"one could be had (taken and freed at once)"};
}

} // namespace hlx
