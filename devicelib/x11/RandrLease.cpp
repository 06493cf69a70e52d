#include "RandrLease.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <utility>

namespace hlx {

namespace {

template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPointer<Reply> owned(Reply *reply) {
    return ReplyPointer<Reply>(reply, &std::free);
}

bool hasLeases(xcb_connection_t *connection) {
    const xcb_query_extension_reply_t *extension =
        xcb_get_extension_data(connection, &xcb_randr_id);
    if (!extension || !extension->present)
        return false;
    const auto version = owned(xcb_randr_query_version_reply(
        connection, xcb_randr_query_version(connection, 1, 6), nullptr));
    return version && (version->major_version > 1 ||
                       (version->major_version == 1 && version->minor_version >= 6));
}

// A CRTC that can drive the output and drives no other output, so that taking it away from the
// server takes no display off the user's desktop. One that drives nothing comes first; one that
// drives only this output, while the server keeps the output off the desktop (a mode set on a
// non-desktop output by hand), is the server's to switch off when it leases it.
xcb_randr_crtc_t freeCrtc(xcb_connection_t *connection, xcb_randr_get_output_info_reply_t *info,
                          xcb_randr_output_t output, xcb_timestamp_t configTimestamp) {
    const bool offDesktop = info->connection != XCB_RANDR_CONNECTION_CONNECTED;
    const xcb_randr_crtc_t *possible = xcb_randr_get_output_info_crtcs(info);
    const int count = xcb_randr_get_output_info_crtcs_length(info);
    xcb_randr_crtc_t ownCrtc = XCB_NONE;
    for (int i = 0; i < count; ++i) {
        const auto crtc = owned(xcb_randr_get_crtc_info_reply(
            connection, xcb_randr_get_crtc_info(connection, possible[i], configTimestamp),
            nullptr));
        if (!crtc)
            continue;
        const int driven = xcb_randr_get_crtc_info_outputs_length(crtc.get());
        if (driven == 0)
            return possible[i];
        if (offDesktop && driven == 1 && xcb_randr_get_crtc_info_outputs(crtc.get())[0] == output &&
            ownCrtc == XCB_NONE)
            ownCrtc = possible[i];
    }
    return ownCrtc;
}

} // namespace

RandrLease RandrLease::take(xcb_connection_t *connection, xcb_window_t root,
                            const std::string &outputName) {
    RandrLease lease;
    lease.m_connection = connection;
    if (!connection || xcb_connection_has_error(connection)) {
        lease.m_refusal = "there is no X server to lease " + outputName + " from";
        return lease;
    }
    if (!hasLeases(connection)) {
        lease.m_refusal = "the X server has no RandR 1.6 leases";
        return lease;
    }
    const auto resources = owned(xcb_randr_get_screen_resources_current_reply(
        connection, xcb_randr_get_screen_resources_current(connection, root), nullptr));
    if (resources) {
        const xcb_randr_output_t *ids =
            xcb_randr_get_screen_resources_current_outputs(resources.get());
        const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
        for (int i = 0; i < count && lease.m_output == XCB_NONE; ++i) {
            const auto info = owned(xcb_randr_get_output_info_reply(
                connection,
                xcb_randr_get_output_info(connection, ids[i], resources->config_timestamp),
                nullptr));
            if (!info)
                continue;
            const std::string name(
                reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
                static_cast<size_t>(xcb_randr_get_output_info_name_length(info.get())));
            if (name != outputName)
                continue;
            lease.m_output = ids[i];
            lease.m_crtc = freeCrtc(connection, info.get(), ids[i], resources->config_timestamp);
        }
    }
    if (lease.m_output == XCB_NONE) {
        lease.m_refusal = "the X server has no output " + outputName;
        return lease;
    }
    if (lease.m_crtc == XCB_NONE) {
        lease.m_refusal = "no free CRTC can drive " + outputName;
        return lease;
    }

    lease.m_id = xcb_generate_id(connection);
    xcb_generic_error_t *error = nullptr;
    const auto reply = owned(xcb_randr_create_lease_reply(
        connection,
        xcb_randr_create_lease(connection, root, lease.m_id, 1, 1, &lease.m_crtc, &lease.m_output),
        &error));
    if (error) {
        lease.m_refusal = "the X server refused to lease " + outputName + " (error " +
                          std::to_string(error->error_code) + ")";
        std::free(error);
        lease.m_id = XCB_NONE;
        return lease;
    }
    const int *fds = reply ? xcb_randr_create_lease_reply_fds(connection, reply.get()) : nullptr;
    if (!reply || reply->nfd < 1 || !fds || fds[0] < 0) {
        lease.m_refusal = "the X server's lease of " + outputName + " came without a descriptor";
        // Whatever it holds goes back at once, as nobody can drive it.
        xcb_randr_free_lease(connection, lease.m_id, 1);
        xcb_flush(connection);
        lease.m_id = XCB_NONE;
        return lease;
    }
    lease.m_fd = fds[0];
    // libxcb hands descriptors over without FD_CLOEXEC: a program the holder starts would hold
    // the display too, and keep it leased after the holder let go.
    ::fcntl(lease.m_fd, F_SETFD, ::fcntl(lease.m_fd, F_GETFD) | FD_CLOEXEC);
    for (int i = 1; i < reply->nfd; ++i)
        ::close(fds[i]);
    return lease;
}

RandrLease::~RandrLease() {
    free();
}

RandrLease::RandrLease(RandrLease &&other) noexcept
    : m_connection(other.m_connection)
    , m_fd(std::exchange(other.m_fd, -1))
    , m_id(std::exchange(other.m_id, XCB_NONE))
    , m_crtc(other.m_crtc)
    , m_output(other.m_output)
    , m_refusal(std::move(other.m_refusal)) {}

RandrLease &RandrLease::operator=(RandrLease &&other) noexcept {
    if (this != &other) {
        free();
        m_connection = other.m_connection;
        m_fd = std::exchange(other.m_fd, -1);
        m_id = std::exchange(other.m_id, XCB_NONE);
        m_crtc = other.m_crtc;
        m_output = other.m_output;
        m_refusal = std::move(other.m_refusal);
    }
    return *this;
}

void RandrLease::free() {
    if (m_id != XCB_NONE && m_connection && !xcb_connection_has_error(m_connection)) {
        xcb_randr_free_lease(m_connection, m_id, 1);
        xcb_flush(m_connection);
    }
    m_id = XCB_NONE;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace hlx
