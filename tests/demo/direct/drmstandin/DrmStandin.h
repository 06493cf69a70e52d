#pragma once

// A stand-in for the kernel's mode setting as the demo reaches it in direct mode: the libdrm calls
// the demo makes, the three xcb calls of a RandR lease (every other request goes to the real X
// server), and mmap, munmap and close for the lease's descriptor. Linked into a build of the
// demo instead of libdrm (target lumeshow_drm_standin).
//
// The lease's descriptor is a timerfd on the monotonic clock: it becomes readable at the
// vertical blank at which a flip asked for shows, as a display's descriptor does, and
// drmHandleEvent then reports the flip. Blank n falls n periods after the lease was taken. It
// comes without FD_CLOEXEC, as libxcb hands a lease's descriptor over.
//
// The CRTC keeps its gamma table across leases, as the kernel does: a lease finds the table in
// the folder that the one before it left.
//
// Environment:
//   HLX_DRM_STANDIN_DIR    folder for the log and the buffers (required)
//   HLX_DRM_STANDIN_HZ     vertical blanks a second, 90 by default
//   HLX_DRM_STANDIN_MODE   the connector's preferred mode, WxH, 2880x1600 by default; a
//                          1920x1080 mode at 60 Hz, not preferred, comes before it
//   HLX_DRM_STANDIN_FAULT  no-fd: the lease's reply holds no descriptor
//                          no-modes: the connector offers no mode
//                          huge-mode: the preferred mode is larger than the largest buffer
//                          flip-error: every page flip fails with EINVAL
//                          no-gamma: the CRTC has no colour table, as virtio-gpu's
//                          revoke-after=N: from the Nth page flip on, every call fails as on a
//                          revoked lease (ENOENT; EACCES for buffers)
//                          unplug-after=N: from the Nth page flip on, the connector reads
//                          disconnected, while the X server shows nothing of it (a server
//                          hides a leased output from its clients)
//                          lease-notice-after=N: at the Nth page flip, the X server's notice
//                          that the lease ended, while calls still succeed; halfway there, one
//                          that another lease ended
//                          master-lost-after=N: from the Nth page flip on, every call fails with
//                          EACCES, as once a VT switch took DRM master away
//                          link-bad-after=N: at the Nth page flip, the connector's link-status
//                          goes BAD, while flips still succeed; only a new mode set mends it
//   HLX_DRM_STANDIN_READS  count: every read of a buffer's mapping is counted, a page a frame
//
// Every lease gets the X server's notice that it was created.
//
// In the folder: `buffer-<handle>`, each dumb buffer's pixels (what mapping the buffer maps),
// `gamma-<crtc>`, the CRTC's gamma table (red, green and blue entries after each other, 16-bit
// little-endian), and `log`, one line a call, fields separated by spaces; a call that failed ends
// in "refused <errno>":
//   lease <fd> crtc <crtc> connector <connector>     (the X server's ids of what was leased)
//   create <handle> <width>x<height> pitch <bytes> size <bytes>
//   addfb <fb> <handle>
//   setcrtc <crtc> fb <fb> connector <connector> mode <width>x<height>@<hz>
//   flip <crtc> fb <fb> vblank <n>
//   asked <n> <microseconds from the blank before n to the flip's request>
//   read <n>                                        (reads counted: pages of buffers read since
//                                                    the flip request before)
//   gamma <crtc> <entries>
//   link-status bad
//   rmfb <fb>
//   munmap <handle>
//   destroy <handle>
//   lease-notice <lease> created|ended
//   free-lease <lease>
//   close <fd>

namespace drmstandin {

// The largest buffer side the stand-in gives memory for.
constexpr int maxBufferSide = 8192;
// What huge-mode offers as preferred.
constexpr int hugeModeWidth = 12000;
constexpr int hugeModeHeight = 9000;
constexpr int gammaSize = 256;
// The kernel numbers its objects apart from the X server's ids for them; a lease's holder learns
// them from the lease's own resources. Every call after the lease takes these, and the log
// names the leased CRTC and connector by them.
constexpr unsigned kernelCrtc = 41;
constexpr unsigned kernelConnector = 77;
// The connector's one property, link-status, an enum of GOOD (0) and BAD (1).
constexpr unsigned linkStatusProperty = 90;

} // namespace drmstandin
