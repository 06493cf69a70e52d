#pragma once

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <string>

namespace hlx {

// A RandR 1.6 lease of one output and a CRTC to drive it: the X server hands over a DRM
// descriptor through which the holder, and no X client, sets the output's mode and shows its own
// pictures. The output is the server's again once the lease is freed or its descriptor closed.
class RandrLease {
public:
    RandrLease() = default;
    // The connection must outlive the lease. On refusal isHeld() is false and refusal() says why,
    // in words for the user.
    static RandrLease take(xcb_connection_t *connection, xcb_window_t root,
                           const std::string &outputName);
    ~RandrLease();
    RandrLease(RandrLease &&other) noexcept;
    RandrLease &operator=(RandrLease &&other) noexcept;
    RandrLease(const RandrLease &) = delete;
    RandrLease &operator=(const RandrLease &) = delete;

    bool isHeld() const { return m_fd >= 0; }
    // The lease's DRM descriptor, owned by the lease; -1 when refused or freed.
    int fd() const { return m_fd; }
    xcb_randr_lease_t id() const { return m_id; }
    xcb_randr_crtc_t crtc() const { return m_crtc; }
    xcb_randr_output_t output() const { return m_output; }
    const std::string &refusal() const { return m_refusal; }

    // Ends the lease at the X server and closes the descriptor, so the output goes back to the
    // server at once rather than when the server next looks at its lessees.
    void free();

private:
    xcb_connection_t *m_connection = nullptr;
    int m_fd = -1;
    xcb_randr_lease_t m_id = XCB_NONE;
    xcb_randr_crtc_t m_crtc = XCB_NONE;
    xcb_randr_output_t m_output = XCB_NONE;
    std::string m_refusal;
};

} // namespace hlx
