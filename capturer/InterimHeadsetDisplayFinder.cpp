// Stands in for the device library's RandR finder until that one is built into the device core;
// CMake leaves this file out as soon as it is. Same judge, same RandR outputs, fewer words.
#include "HeadsetDisplayFinder.h"

#include "Edid.h"
#include "HeadsetIdFiles.h"
#include "HeadsetJudge.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace hlx {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> own(T *reply) {
    return Reply<T>(reply, &std::free);
}

xcb_atom_t internAtom(xcb_connection_t *c, const char *name) {
    auto reply = own(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_ATOM_NONE;
}

std::string outputProperty(xcb_connection_t *c, xcb_randr_output_t output, xcb_atom_t property) {
    if (property == XCB_ATOM_NONE)
        return {};
    auto reply = own(xcb_randr_get_output_property_reply(
        c, xcb_randr_get_output_property(c, output, property, XCB_ATOM_ANY, 0, 1024, 0, 0),
        nullptr));
    if (!reply)
        return {};
    const auto *data =
        reinterpret_cast<const char *>(xcb_randr_get_output_property_data(reply.get()));
    return std::string(data,
                       static_cast<size_t>(xcb_randr_get_output_property_data_length(reply.get())));
}

} // namespace

HeadsetDisplayFinder::HeadsetDisplayFinder()
    : m_ids(udev::HeadsetIdFiles::load(udev::HeadsetIdFiles::Problems::Ignore)) {}

HeadsetDisplayFinder::HeadsetDisplayFinder(headsets::HeadsetIds ids)
    : m_ids(std::move(ids)) {}

std::vector<HeadsetDisplay> HeadsetDisplayFinder::all() const {
    std::vector<HeadsetDisplay> displays;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return displays;
    }
    // 1.6 so that the server lists outputs kept off the desktop for leasing.
    auto version = own(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 6), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto resources = own(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, root), nullptr));
    if (!version || !resources) {
        xcb_disconnect(c);
        return displays;
    }
    const xcb_atom_t edidAtom = internAtom(c, "EDID");
    const xcb_atom_t nonDesktopAtom = internAtom(c, "non-desktop");
    const headsets::HeadsetJudge judge(m_ids);
    const xcb_randr_output_t *outputs =
        xcb_randr_get_screen_resources_current_outputs(resources.get());
    const xcb_randr_mode_info_t *modes =
        xcb_randr_get_screen_resources_current_modes(resources.get());
    const int modeCount = xcb_randr_get_screen_resources_current_modes_length(resources.get());
    for (int i = 0; i < resources->num_outputs; ++i) {
        auto info = own(xcb_randr_get_output_info_reply(
            c, xcb_randr_get_output_info(c, outputs[i], resources->config_timestamp), nullptr));
        if (!info || info->connection != XCB_RANDR_CONNECTION_CONNECTED)
            continue;
        HeadsetDisplay display;
        display.output.assign(
            reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
            static_cast<size_t>(xcb_randr_get_output_info_name_length(info.get())));
        const std::string edidData = outputProperty(c, outputs[i], edidAtom);
        const headsets::Verdict verdict = judge.display(edidData);
        if (verdict.headset) {
            if (const auto edid = headsets::Edid::parse(edidData))
                display.headset = edid->name();
        }
        const std::string nonDesktop = outputProperty(c, outputs[i], nonDesktopAtom);
        const bool keptOff = nonDesktop.size() >= 1 && nonDesktop[0] != 0;
        auto crtc =
            info->crtc == XCB_NONE
                ? own<xcb_randr_get_crtc_info_reply_t>(nullptr)
                : own(xcb_randr_get_crtc_info_reply(
                      c, xcb_randr_get_crtc_info(c, info->crtc, resources->config_timestamp),
                      nullptr));
        if (keptOff) {
            display.place = HeadsetDisplay::Place::OffDesktop;
            display.why = "the display is kept off the desktop for VR compositors (non-desktop)";
        } else if (!crtc || crtc->mode == XCB_NONE) {
            display.place = HeadsetDisplay::Place::OffDesktop;
            display.why = "the display is switched off";
        } else {
            display.place = HeadsetDisplay::Place::Desktop;
            display.rect = {crtc->x, crtc->y, crtc->width, crtc->height};
            for (int m = 0; m < modeCount; ++m) {
                if (modes[m].id == crtc->mode && modes[m].htotal && modes[m].vtotal)
                    display.refreshHz = double(modes[m].dot_clock) /
                                        (double(modes[m].htotal) * double(modes[m].vtotal));
            }
            display.why = verdict.why;
        }
        if (!verdict.headset)
            display.why = verdict.why;
        displays.push_back(std::move(display));
    }
    xcb_disconnect(c);
    return displays;
}

HeadsetDisplay HeadsetDisplayFinder::find() const {
    std::optional<HeadsetDisplay> offDesktop;
    for (HeadsetDisplay &display : all()) {
        if (display.headset.empty())
            continue;
        if (display.place == HeadsetDisplay::Place::Desktop)
            return display;
        if (!offDesktop)
            offDesktop = std::move(display);
    }
    return offDesktop.value_or(HeadsetDisplay{});
}

} // namespace hlx
