#include "DrmStandin.h"

#include <xcb/randr.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Buffer {
    int file = -1;
    uint64_t size = 0;
    void *map = nullptr;
};

struct Flip {
    bool pending = false;
    uint64_t vblank = 0;
    void *userData = nullptr;
};

struct Standin {
    std::mutex mutex;
    std::atomic<int> fd{-1};
    std::string dir;
    FILE *log = nullptr;
    int hz = 90;
    int width = 2880;
    int height = 1600;
    std::string fault;
    long revokeAfter = 0;
    long unplugAfter = 0;
    long leaseNoticeAfter = 0;
    long masterLostAfter = 0;
    long linkBadAfter = 0;
    bool linkBad = false;
    long flips = 0;
    // The lease as the demo asked the X server for it, where its notices go.
    xcb_connection_t *connection = nullptr;
    xcb_window_t leaseWindow = XCB_NONE;
    xcb_randr_lease_t lease = 0;
    xcb_window_t noticeWindow = XCB_NONE;
    // The X server's ids of what was leased.
    uint32_t leasedCrtc = 0;
    uint32_t leasedOutput = 0;
    uint32_t crtc = drmstandin::kernelCrtc;
    uint32_t connector = drmstandin::kernelConnector;
    int64_t startNs = 0;
    std::map<uint32_t, Buffer> buffers;
    uint32_t nextHandle = 1;
    std::map<uint32_t, uint32_t> framebuffers;
    uint32_t nextFramebuffer = 100;
    Flip flip;
    std::vector<uint16_t> gamma = std::vector<uint16_t>(3 * drmstandin::gammaSize);
    bool countReads = false;
};

// The demo's mappings of buffers as the fault handler sees them, without a lock: it may run on
// any thread, in the middle of any call.
struct WatchedMapping {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
};
std::array<WatchedMapping, 8> watched;
std::atomic<long> pagesRead{0};
uintptr_t pageBytes = 4096;
struct sigaction previousSegv {};

// Never destroyed: mappings and closes reach the stand-in until the process is gone.
Standin &standin() {
    static Standin *state = new Standin;
    return *state;
}

int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t periodNs() {
    return 1000000000 / standin().hz;
}

void logLine(const std::string &line, int result = 0) {
    Standin &s = standin();
    if (!s.log)
        return;
    if (result == 0)
        std::fprintf(s.log, "%s\n", line.c_str());
    else
        std::fprintf(s.log, "%s refused %d\n", line.c_str(), result);
    std::fflush(s.log);
}

bool revoked() {
    const Standin &s = standin();
    return s.revokeAfter > 0 && s.flips >= s.revokeAfter;
}

bool masterLost() {
    const Standin &s = standin();
    return s.masterLostAfter > 0 && s.flips >= s.masterLostAfter;
}

// Calls on another descriptor, on a revoked lease, or without DRM master, fail as the kernel
// fails them.
int refusal(int fd, int revokedError = -ENOENT) {
    if (fd < 0 || fd != standin().fd)
        return -EBADF;
    if (masterLost())
        return -EACCES;
    return revoked() ? revokedError : 0;
}

long afterFlips(const std::string &fault, const char *name) {
    const size_t length = std::strlen(name);
    return fault.compare(0, length, name) == 0 ? std::atol(fault.c_str() + length) : 0;
}

void readEnvironment() {
    Standin &s = standin();
    const char *dir = std::getenv("HLX_DRM_STANDIN_DIR");
    s.dir = dir ? dir : ".";
    s.log = std::fopen((s.dir + "/log").c_str(), "a");
    if (const char *hz = std::getenv("HLX_DRM_STANDIN_HZ"); hz && std::atoi(hz) > 0)
        s.hz = std::atoi(hz);
    if (const char *mode = std::getenv("HLX_DRM_STANDIN_MODE"))
        std::sscanf(mode, "%dx%d", &s.width, &s.height);
    if (const char *fault = std::getenv("HLX_DRM_STANDIN_FAULT"))
        s.fault = fault;
    s.revokeAfter = afterFlips(s.fault, "revoke-after=");
    s.unplugAfter = afterFlips(s.fault, "unplug-after=");
    s.leaseNoticeAfter = afterFlips(s.fault, "lease-notice-after=");
    s.masterLostAfter = afterFlips(s.fault, "master-lost-after=");
    s.linkBadAfter = afterFlips(s.fault, "link-bad-after=");
    if (const char *reads = std::getenv("HLX_DRM_STANDIN_READS"))
        s.countReads = std::strcmp(reads, "count") == 0;
    if (s.fault == "huge-mode") {
        s.width = drmstandin::hugeModeWidth;
        s.height = drmstandin::hugeModeHeight;
    }
}

std::string gammaPath() {
    const Standin &s = standin();
    return s.dir + "/gamma-" + std::to_string(s.crtc);
}

// The table the CRTC was left with, or, on its first lease, the plain one a display starts with.
void readGamma() {
    Standin &s = standin();
    if (FILE *file = std::fopen(gammaPath().c_str(), "rb")) {
        const size_t read = std::fread(s.gamma.data(), sizeof(uint16_t), s.gamma.size(), file);
        std::fclose(file);
        if (read == s.gamma.size())
            return;
    }
    for (int i = 0; i < drmstandin::gammaSize; ++i) {
        const auto level = uint16_t(i * 65535 / (drmstandin::gammaSize - 1));
        for (int channel = 0; channel < 3; ++channel)
            s.gamma[size_t(channel * drmstandin::gammaSize + i)] = level;
    }
}

// A page of a buffer's mapping is opened at its first touch after a flip request, which closes
// the buffer again; a touch that was a read is counted, as the x86 error code tells a read from
// a write. Any other fault is the previous handler's.
void onSegv(int, siginfo_t *info, void *context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (const WatchedMapping &mapping : watched) {
        if (address < mapping.begin || address >= mapping.end)
            continue;
        const auto *registers = static_cast<const ucontext_t *>(context);
        if ((registers->uc_mcontext.gregs[REG_ERR] & 2) == 0)
            ++pagesRead;
        syscall(SYS_mprotect, address & ~(pageBytes - 1), pageBytes, PROT_READ | PROT_WRITE);
        return;
    }
    sigaction(SIGSEGV, &previousSegv, nullptr);
}

void watch(void *map, uint64_t size) {
    static const bool installed = [] {
        pageBytes = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onSegv;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGSEGV, &action, &previousSegv) == 0;
    }();
    for (WatchedMapping &mapping : watched) {
        if (installed && mapping.begin == 0) {
            mapping.end = reinterpret_cast<uintptr_t>(map) + size;
            mapping.begin = reinterpret_cast<uintptr_t>(map);
            return;
        }
    }
}

void unwatch(void *map) {
    for (WatchedMapping &mapping : watched) {
        if (mapping.begin == reinterpret_cast<uintptr_t>(map))
            mapping.begin = mapping.end = 0;
    }
}

// The framebuffer's buffer goes to the display: from here its mapping is closed again, and the
// pages read since the request before are told.
void closeForScanout(uint32_t framebuffer) {
    Standin &s = standin();
    if (!s.countReads)
        return;
    const auto bound = s.framebuffers.find(framebuffer);
    const auto buffer =
        bound == s.framebuffers.end() ? s.buffers.end() : s.buffers.find(bound->second);
    if (buffer != s.buffers.end() && buffer->second.map)
        syscall(SYS_mprotect, buffer->second.map, buffer->second.size, PROT_NONE);
    if (const long read = pagesRead.exchange(0))
        logLine("read " + std::to_string(read));
}

void writeGamma() {
    Standin &s = standin();
    if (FILE *file = std::fopen(gammaPath().c_str(), "wb")) {
        std::fwrite(s.gamma.data(), sizeof(uint16_t), s.gamma.size(), file);
        std::fclose(file);
    }
}

drmModeModeInfo modeOf(int width, int height, int hz, uint32_t type) {
    drmModeModeInfo mode{};
    mode.hdisplay = uint16_t(width);
    mode.hsync_start = uint16_t(width + 48);
    mode.hsync_end = uint16_t(width + 80);
    mode.htotal = uint16_t(width + 160);
    mode.vdisplay = uint16_t(height);
    mode.vsync_start = uint16_t(height + 3);
    mode.vsync_end = uint16_t(height + 8);
    mode.vtotal = uint16_t(height + 40);
    mode.clock = uint32_t(int64_t(mode.htotal) * mode.vtotal * hz / 1000);
    mode.vrefresh = uint32_t(hz);
    mode.type = type;
    std::snprintf(mode.name, sizeof mode.name, "%dx%d", width, height);
    return mode;
}

// The reply as xcb lays it out: the descriptors follow the reply's fields.
struct LeaseReply {
    xcb_randr_create_lease_reply_t reply;
    int fd;
};

// RandR's notice of a lease, as the X server sends it to the clients that asked for such notices
// on the root: the server itself, through SendEvent to a window of the demo's connection, since
// the lease it tells of is the stand-in's.
void sendLeaseNotice(xcb_randr_lease_t lease, bool created) {
    Standin &s = standin();
    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(s.connection, &xcb_randr_id);
    if (!randr || !randr->present)
        return;
    if (s.noticeWindow == XCB_NONE) {
        s.noticeWindow = xcb_generate_id(s.connection);
        xcb_create_window(s.connection, XCB_COPY_FROM_PARENT, s.noticeWindow, s.leaseWindow, 0, 0,
                          1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    xcb_randr_notify_event_t notice{};
    notice.response_type = uint8_t(randr->first_event + XCB_RANDR_NOTIFY);
    notice.subCode = XCB_RANDR_NOTIFY_LEASE;
    notice.u.lc.timestamp = XCB_CURRENT_TIME;
    notice.u.lc.window = s.leaseWindow;
    notice.u.lc.lease = lease;
    notice.u.lc.created = created;
    // An empty event mask sends it to the window's creator alone: the demo's connection.
    xcb_send_event(s.connection, 0, s.noticeWindow, 0, reinterpret_cast<const char *>(&notice));
    xcb_flush(s.connection);
    logLine("lease-notice " + std::to_string(lease) + (created ? " created" : " ended"));
}

drmModeConnectorPtr connectorOf(int fd, uint32_t connectorId, drmModeConnection connection) {
    Standin &s = standin();
    if (const int error = refusal(fd); error || connectorId != s.connector) {
        errno = error ? -error : ENOENT;
        return nullptr;
    }
    auto *connector = static_cast<drmModeConnectorPtr>(std::calloc(1, sizeof(drmModeConnector)));
    connector->connector_id = connectorId;
    connector->connection = connection;
    connector->count_props = 1;
    connector->props = static_cast<uint32_t *>(std::calloc(1, sizeof(uint32_t)));
    connector->props[0] = drmstandin::linkStatusProperty;
    connector->prop_values = static_cast<uint64_t *>(std::calloc(1, sizeof(uint64_t)));
    connector->prop_values[0] = s.linkBad ? DRM_MODE_LINK_STATUS_BAD : DRM_MODE_LINK_STATUS_GOOD;
    if (s.fault != "no-modes" && connection == DRM_MODE_CONNECTED) {
        connector->count_modes = 2;
        connector->modes = static_cast<drmModeModeInfoPtr>(std::calloc(2, sizeof(drmModeModeInfo)));
        connector->modes[0] = modeOf(1920, 1080, 60, DRM_MODE_TYPE_DRIVER);
        connector->modes[1] =
            modeOf(s.width, s.height, s.hz, DRM_MODE_TYPE_DRIVER | DRM_MODE_TYPE_PREFERRED);
    }
    return connector;
}

} // namespace

extern "C" {

xcb_randr_create_lease_cookie_t xcb_randr_create_lease(xcb_connection_t *connection,
                                                       xcb_window_t window, xcb_randr_lease_t lid,
                                                       uint16_t num_crtcs, uint16_t num_outputs,
                                                       const xcb_randr_crtc_t *crtcs,
                                                       const xcb_randr_output_t *outputs) {
    Standin &s = standin();
    s.connection = connection;
    s.leaseWindow = window;
    s.lease = lid;
    s.leasedCrtc = num_crtcs ? crtcs[0] : 0;
    s.leasedOutput = num_outputs ? outputs[0] : 0;
    return {1};
}

xcb_randr_create_lease_reply_t *xcb_randr_create_lease_reply(xcb_connection_t *,
                                                             xcb_randr_create_lease_cookie_t,
                                                             xcb_generic_error_t **error) {
    if (error)
        *error = nullptr;
    Standin &s = standin();
    readEnvironment();
    auto *lease = static_cast<LeaseReply *>(std::calloc(1, sizeof(LeaseReply)));
    lease->reply.response_type = 1;
    lease->fd = -1;
    if (s.fault == "no-fd") {
        logLine("lease -1 crtc " + std::to_string(s.leasedCrtc) + " connector " +
                std::to_string(s.leasedOutput));
        return &lease->reply;
    }
    lease->reply.nfd = 1;
    lease->fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK);
    s.fd = lease->fd;
    s.startNs = nowNs();
    readGamma();
    writeGamma();
    logLine("lease " + std::to_string(lease->fd) + " crtc " + std::to_string(s.leasedCrtc) +
            " connector " + std::to_string(s.leasedOutput));
    // The server tells every client that asked of a new lease, its holder too.
    sendLeaseNotice(s.lease, true);
    return &lease->reply;
}

int *xcb_randr_create_lease_reply_fds(xcb_connection_t *, xcb_randr_create_lease_reply_t *reply) {
    return &reinterpret_cast<LeaseReply *>(reply)->fd;
}

xcb_void_cookie_t xcb_randr_free_lease(xcb_connection_t *, xcb_randr_lease_t lid, uint8_t) {
    logLine("free-lease " + std::to_string(lid));
    return {0};
}

drmModeResPtr drmModeGetResources(int fd) {
    if (const int error = refusal(fd)) {
        errno = -error;
        return nullptr;
    }
    auto *resources = static_cast<drmModeResPtr>(std::calloc(1, sizeof(drmModeRes)));
    resources->count_crtcs = 1;
    resources->crtcs = static_cast<uint32_t *>(std::calloc(1, sizeof(uint32_t)));
    resources->crtcs[0] = standin().crtc;
    resources->count_connectors = 1;
    resources->connectors = static_cast<uint32_t *>(std::calloc(1, sizeof(uint32_t)));
    resources->connectors[0] = standin().connector;
    resources->max_width = resources->max_height = drmstandin::maxBufferSide;
    return resources;
}

void drmModeFreeResources(drmModeResPtr resources) {
    if (!resources)
        return;
    std::free(resources->crtcs);
    std::free(resources->connectors);
    std::free(resources);
}

drmModeConnectorPtr drmModeGetConnector(int fd, uint32_t connectorId) {
    return connectorOf(fd, connectorId, DRM_MODE_CONNECTED);
}

drmModeConnectorPtr drmModeGetConnectorCurrent(int fd, uint32_t connectorId) {
    const Standin &s = standin();
    const bool unplugged = s.unplugAfter > 0 && s.flips >= s.unplugAfter;
    return connectorOf(fd, connectorId, unplugged ? DRM_MODE_DISCONNECTED : DRM_MODE_CONNECTED);
}

void drmModeFreeConnector(drmModeConnectorPtr connector) {
    if (!connector)
        return;
    std::free(connector->modes);
    std::free(connector->props);
    std::free(connector->prop_values);
    std::free(connector);
}

drmModePropertyPtr drmModeGetProperty(int fd, uint32_t propertyId) {
    if (const int error = refusal(fd); error || propertyId != drmstandin::linkStatusProperty) {
        errno = error ? -error : ENOENT;
        return nullptr;
    }
    auto *property = static_cast<drmModePropertyPtr>(std::calloc(1, sizeof(drmModePropertyRes)));
    property->prop_id = propertyId;
    property->flags = DRM_MODE_PROP_ENUM;
    std::snprintf(property->name, sizeof property->name, "link-status");
    property->count_enums = 2;
    property->enums =
        static_cast<drm_mode_property_enum *>(std::calloc(2, sizeof(drm_mode_property_enum)));
    property->enums[0].value = DRM_MODE_LINK_STATUS_GOOD;
    std::snprintf(property->enums[0].name, sizeof property->enums[0].name, "Good");
    property->enums[1].value = DRM_MODE_LINK_STATUS_BAD;
    std::snprintf(property->enums[1].name, sizeof property->enums[1].name, "Bad");
    return property;
}

void drmModeFreeProperty(drmModePropertyPtr property) {
    if (!property)
        return;
    std::free(property->enums);
    std::free(property);
}

drmModeCrtcPtr drmModeGetCrtc(int fd, uint32_t crtcId) {
    if (const int error = refusal(fd); error || crtcId != standin().crtc) {
        errno = error ? -error : ENOENT;
        return nullptr;
    }
    auto *crtc = static_cast<drmModeCrtcPtr>(std::calloc(1, sizeof(drmModeCrtc)));
    crtc->crtc_id = crtcId;
    // As virtio-gpu's, which has no colour table.
    crtc->gamma_size = standin().fault == "no-gamma" ? 0 : drmstandin::gammaSize;
    return crtc;
}

void drmModeFreeCrtc(drmModeCrtcPtr crtc) {
    std::free(crtc);
}

int drmModeCreateDumbBuffer(int fd, uint32_t width, uint32_t height, uint32_t bpp, uint32_t,
                            uint32_t *handle, uint32_t *pitch, uint64_t *size) {
    Standin &s = standin();
    int error = refusal(fd, -EACCES);
    if (!error &&
        (bpp != 32 || width == 0 || height == 0 || width > uint32_t(drmstandin::maxBufferSide) ||
         height > uint32_t(drmstandin::maxBufferSide)))
        error = -EINVAL;
    const std::string call = "create " + std::to_string(s.nextHandle) + " " +
                             std::to_string(width) + "x" + std::to_string(height);
    if (error) {
        logLine(call, error);
        return error;
    }
    // Rows wider than the picture, as drivers align them, so that a reader who takes the width
    // for the pitch gets it wrong.
    const uint32_t rowBytes = (width * 4 + 1023) / 1024 * 1024 + 1024;
    Buffer buffer;
    buffer.size = uint64_t(rowBytes) * height;
    const std::string path = s.dir + "/buffer-" + std::to_string(s.nextHandle);
    buffer.file = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (buffer.file < 0 || ftruncate(buffer.file, off_t(buffer.size)) != 0) {
        logLine(call, -ENOMEM);
        return -ENOMEM;
    }
    *handle = s.nextHandle++;
    *pitch = rowBytes;
    *size = buffer.size;
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.buffers[*handle] = buffer;
    logLine(call + " pitch " + std::to_string(rowBytes) + " size " + std::to_string(buffer.size));
    return 0;
}

int drmModeMapDumbBuffer(int fd, uint32_t handle, uint64_t *offset) {
    int error = refusal(fd, -EACCES);
    if (!error && !standin().buffers.count(handle))
        error = -ENOENT;
    if (error)
        return error;
    *offset = uint64_t(handle) << 32;
    return 0;
}

int drmModeDestroyDumbBuffer(int fd, uint32_t handle) {
    Standin &s = standin();
    int error = refusal(fd, -EACCES);
    if (!error && !s.buffers.count(handle))
        error = -ENOENT;
    logLine("destroy " + std::to_string(handle), error);
    if (error)
        return error;
    const std::lock_guard<std::mutex> lock(s.mutex);
    ::close(s.buffers[handle].file);
    s.buffers.erase(handle);
    return 0;
}

int drmModeAddFB(int fd, uint32_t width, uint32_t height, uint8_t, uint8_t, uint32_t, uint32_t bo,
                 uint32_t *id) {
    Standin &s = standin();
    int error = refusal(fd);
    if (!error && (!s.buffers.count(bo) || width > uint32_t(drmstandin::maxBufferSide) ||
                   height > uint32_t(drmstandin::maxBufferSide)))
        error = -EINVAL;
    if (error) {
        logLine("addfb 0 " + std::to_string(bo), error);
        return error;
    }
    *id = s.nextFramebuffer++;
    s.framebuffers[*id] = bo;
    logLine("addfb " + std::to_string(*id) + " " + std::to_string(bo));
    return 0;
}

int drmModeRmFB(int fd, uint32_t bufferId) {
    Standin &s = standin();
    int error = refusal(fd);
    if (!error && !s.framebuffers.count(bufferId))
        error = -ENOENT;
    logLine("rmfb " + std::to_string(bufferId), error);
    if (!error)
        s.framebuffers.erase(bufferId);
    return error;
}

int drmModeSetCrtc(int fd, uint32_t crtcId, uint32_t bufferId, uint32_t, uint32_t,
                   uint32_t *connectors, int count, drmModeModeInfoPtr mode) {
    Standin &s = standin();
    int error = refusal(fd);
    if (!error && (crtcId != s.crtc || !s.framebuffers.count(bufferId) || count != 1 ||
                   connectors[0] != s.connector || !mode))
        error = -EINVAL;
    std::string call = "setcrtc " + std::to_string(crtcId) + " fb " + std::to_string(bufferId) +
                       " connector " + std::to_string(count ? connectors[0] : 0);
    if (mode)
        call += " mode " + std::to_string(mode->hdisplay) + "x" + std::to_string(mode->vdisplay) +
                "@" + std::to_string(mode->vrefresh);
    logLine(call, error);
    if (!error) {
        s.linkBad = false;
        closeForScanout(bufferId);
    }
    return error;
}

int drmModePageFlip(int fd, uint32_t crtcId, uint32_t bufferId, uint32_t flags, void *userData) {
    Standin &s = standin();
    ++s.flips;
    // Another client's lease ends halfway: none of the demo's business.
    if (s.leaseNoticeAfter > 0 && s.flips == (s.leaseNoticeAfter + 1) / 2)
        sendLeaseNotice(s.lease + 1, false);
    if (s.leaseNoticeAfter > 0 && s.flips == s.leaseNoticeAfter)
        sendLeaseNotice(s.lease, false);
    if (s.linkBadAfter > 0 && s.flips == s.linkBadAfter) {
        s.linkBad = true;
        logLine("link-status bad");
    }
    int error = refusal(fd);
    if (!error && s.fault == "flip-error")
        error = -EINVAL;
    if (!error && (crtcId != s.crtc || !s.framebuffers.count(bufferId) ||
                   !(flags & DRM_MODE_PAGE_FLIP_EVENT)))
        error = -EINVAL;
    if (!error && s.flip.pending)
        error = -EBUSY;
    uint64_t vblank = 0;
    int64_t sinceBlankNs = 0;
    if (!error) {
        const int64_t now = nowNs() - s.startNs;
        vblank = uint64_t(now / periodNs()) + 1;
        sinceBlankNs = now % periodNs();
        const int64_t at = s.startNs + int64_t(vblank) * periodNs();
        itimerspec when{};
        when.it_value.tv_sec = at / 1000000000;
        when.it_value.tv_nsec = at % 1000000000;
        timerfd_settime(s.fd, TFD_TIMER_ABSTIME, &when, nullptr);
        s.flip = {true, vblank, userData};
    }
    logLine("flip " + std::to_string(crtcId) + " fb " + std::to_string(bufferId) + " vblank " +
                std::to_string(vblank),
            error);
    if (!error) {
        logLine("asked " + std::to_string(vblank) + " " + std::to_string(sinceBlankNs / 1000));
        closeForScanout(bufferId);
    }
    return error;
}

int drmHandleEvent(int fd, drmEventContextPtr context) {
    Standin &s = standin();
    if (fd != s.fd) {
        errno = EBADF;
        return -1;
    }
    uint64_t expirations = 0;
    if (read(fd, &expirations, sizeof expirations) != sizeof expirations || !s.flip.pending)
        return 0;
    const Flip done = s.flip;
    s.flip = {};
    const int64_t at = s.startNs + int64_t(done.vblank) * periodNs();
    if (context->page_flip_handler)
        context->page_flip_handler(fd, unsigned(done.vblank), unsigned(at / 1000000000),
                                   unsigned(at % 1000000000 / 1000), done.userData);
    return 0;
}

int drmModeCrtcGetGamma(int fd, uint32_t crtcId, uint32_t size, uint16_t *red, uint16_t *green,
                        uint16_t *blue) {
    Standin &s = standin();
    int error = refusal(fd);
    if (!error && (crtcId != s.crtc || size != uint32_t(drmstandin::gammaSize)))
        error = -EINVAL;
    if (error)
        return error;
    std::memcpy(red, s.gamma.data(), size * sizeof(uint16_t));
    std::memcpy(green, s.gamma.data() + size, size * sizeof(uint16_t));
    std::memcpy(blue, s.gamma.data() + 2 * size, size * sizeof(uint16_t));
    return 0;
}

int drmModeCrtcSetGamma(int fd, uint32_t crtcId, uint32_t size, uint16_t *red, uint16_t *green,
                        uint16_t *blue) {
    Standin &s = standin();
    int error = refusal(fd);
    if (!error && (crtcId != s.crtc || size != uint32_t(drmstandin::gammaSize)))
        error = -EINVAL;
    logLine("gamma " + std::to_string(crtcId) + " " + std::to_string(size), error);
    if (error)
        return error;
    std::memcpy(s.gamma.data(), red, size * sizeof(uint16_t));
    std::memcpy(s.gamma.data() + size, green, size * sizeof(uint16_t));
    std::memcpy(s.gamma.data() + 2 * size, blue, size * sizeof(uint16_t));
    writeGamma();
    return 0;
}

// The lease's descriptor maps the buffer whose handle its offset names; every other mapping is
// the system's.
void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset) {
    Standin &s = standin();
    if (fd < 0 || fd != s.fd)
        return reinterpret_cast<void *>(
            syscall(SYS_mmap, address, length, protection, flags, fd, offset));
    const std::lock_guard<std::mutex> lock(s.mutex);
    const auto buffer = s.buffers.find(uint32_t(uint64_t(offset) >> 32));
    if (buffer == s.buffers.end() || length > buffer->second.size || revoked()) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    void *map = reinterpret_cast<void *>(syscall(SYS_mmap, address, length,
                                                 s.countReads ? PROT_NONE : protection, flags,
                                                 buffer->second.file, 0));
    if (map != MAP_FAILED) {
        buffer->second.map = map;
        if (s.countReads)
            watch(map, length);
    }
    return map;
}

void *mmap64(void *address, size_t length, int protection, int flags, int fd, off64_t offset) {
    return mmap(address, length, protection, flags, fd, off_t(offset));
}

int munmap(void *address, size_t length) {
    Standin &s = standin();
    {
        const std::lock_guard<std::mutex> lock(s.mutex);
        for (auto &[handle, buffer] : s.buffers) {
            if (buffer.map == address) {
                unwatch(address);
                buffer.map = nullptr;
                logLine("munmap " + std::to_string(handle));
            }
        }
    }
    return int(syscall(SYS_munmap, address, length));
}

int close(int fd) {
    Standin &s = standin();
    if (fd >= 0 && fd == s.fd) {
        s.fd = -1;
        logLine("close " + std::to_string(fd));
    }
    return int(syscall(SYS_close, fd));
}

} // extern "C"
