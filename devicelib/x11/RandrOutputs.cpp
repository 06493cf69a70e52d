#include "RandrOutputs.h"

#include "KernelConnectorEdid.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace hlx {

namespace {

template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPointer<Reply> owned(Reply *reply) {
    return ReplyPointer<Reply>(reply, &std::free);
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name) {
    const auto reply = owned(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

double refreshOf(const xcb_randr_mode_info_t &mode) {
    double lines = mode.vtotal;
    if (mode.mode_flags & XCB_RANDR_MODE_FLAG_DOUBLE_SCAN)
        lines *= 2;
    if (mode.mode_flags & XCB_RANDR_MODE_FLAG_INTERLACE)
        lines /= 2;
    if (mode.htotal == 0 || lines == 0)
        return 0;
    return mode.dot_clock / (mode.htotal * lines);
}

} // namespace

RandrOutputs::RandrOutputs(xcb_connection_t *connection, xcb_window_t root)
    : m_connection(connection) {
    const auto resources = owned(xcb_randr_get_screen_resources_current_reply(
        connection, xcb_randr_get_screen_resources_current(connection, root), nullptr));
    if (!resources)
        return;
    const xcb_atom_t edidAtom = atom(connection, "EDID");
    const xcb_atom_t nonDesktopAtom = atom(connection, "non-desktop");
    const xcb_atom_t connectorIdAtom = atom(connection, "CONNECTOR_ID");
    const xcb_randr_output_t *ids = xcb_randr_get_screen_resources_current_outputs(resources.get());
    const xcb_randr_mode_info_t *modes =
        xcb_randr_get_screen_resources_current_modes(resources.get());
    const int modeCount = xcb_randr_get_screen_resources_current_modes_length(resources.get());
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    for (int i = 0; i < count; ++i) {
        const auto info = owned(xcb_randr_get_output_info_reply(
            connection, xcb_randr_get_output_info(connection, ids[i], resources->config_timestamp),
            nullptr));
        if (!info)
            continue;
        Output output;
        output.id = ids[i];
        output.name.assign(
            reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
            static_cast<size_t>(xcb_randr_get_output_info_name_length(info.get())));
        output.connected = info->connection == XCB_RANDR_CONNECTION_CONNECTED;
        const std::string nonDesktop = property(ids[i], nonDesktopAtom);
        output.nonDesktop = nonDesktop.size() >= 4 && nonDesktop != std::string(4, '\0');
        output.edid = property(ids[i], edidAtom);
        if (output.edid.empty() && (output.connected || output.nonDesktop)) {
            const std::string connectorId = property(ids[i], connectorIdAtom);
            uint32_t id = 0;
            if (connectorId.size() == sizeof id)
                std::memcpy(&id, connectorId.data(), sizeof id);
            KernelConnectorEdid kernel = id != 0 ? KernelConnectorEdid::byConnectorId(id)
                                                 : KernelConnectorEdid::byName(output.name);
            output.edid = std::move(kernel.edid);
            output.edidSource = std::move(kernel.source);
            output.edidProblem = std::move(kernel.problem);
        }
        if (info->crtc != XCB_NONE) {
            const auto crtc = owned(xcb_randr_get_crtc_info_reply(
                connection,
                xcb_randr_get_crtc_info(connection, info->crtc, resources->config_timestamp),
                nullptr));
            if (crtc && crtc->mode != XCB_NONE && crtc->width > 0 && crtc->height > 0) {
                output.crtc = info->crtc;
                output.rect = {crtc->x, crtc->y, crtc->width, crtc->height};
                for (int m = 0; m < modeCount; ++m) {
                    if (modes[m].id == crtc->mode)
                        output.refreshHz = refreshOf(modes[m]);
                }
            }
        }
        m_outputs.push_back(std::move(output));
    }
}

const RandrOutputs::Output *RandrOutputs::find(const std::string &name) const {
    for (const Output &output : m_outputs) {
        if (output.name == name)
            return &output;
    }
    return nullptr;
}

std::string RandrOutputs::property(xcb_randr_output_t output, xcb_atom_t atom) const {
    if (atom == XCB_ATOM_NONE)
        return {};
    // 1024 bytes hold a base block and seven extensions, more than any display hands over.
    const auto reply = owned(xcb_randr_get_output_property_reply(
        m_connection,
        xcb_randr_get_output_property(m_connection, output, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 256,
                                      0, 0),
        nullptr));
    if (!reply || reply->format == 0)
        return {};
    const auto bytes = static_cast<size_t>(xcb_randr_get_output_property_data_length(reply.get()));
    return std::string(
        reinterpret_cast<const char *>(xcb_randr_get_output_property_data(reply.get())), bytes);
}

} // namespace hlx
