#include "DrmScanout.h"

#include <xf86drm.h>

#include <sys/mman.h>

#include <cstring>

namespace {

QString errorText(int result) {
    return QString::fromLocal8Bit(std::strerror(result < 0 ? -result : errno));
}

uint32_t linkStatusPropertyOf(int fd, const drmModeConnector &connector) {
    for (int i = 0; i < connector.count_props; ++i) {
        drmModePropertyRes *property = drmModeGetProperty(fd, connector.props[i]);
        if (!property)
            continue;
        const bool linkStatus = std::strcmp(property->name, "link-status") == 0;
        drmModeFreeProperty(property);
        if (linkStatus)
            return connector.props[i];
    }
    return 0;
}

} // namespace

std::unique_ptr<DrmScanout> DrmScanout::open(int fd, QString *problem) {
    std::unique_ptr<DrmScanout> scanout(new DrmScanout(fd));
    if (!scanout->findDisplay(problem))
        return nullptr;
    for (Buffer &buffer : scanout->m_buffers) {
        if (!scanout->makeBuffer(buffer, problem))
            return nullptr;
    }
    return scanout;
}

DrmScanout::~DrmScanout() {
    for (Buffer &buffer : m_buffers) {
        buffer.image = QImage();
        if (buffer.framebuffer)
            drmModeRmFB(m_fd, buffer.framebuffer);
        if (buffer.map)
            munmap(buffer.map, buffer.size);
        if (buffer.handle)
            drmModeDestroyDumbBuffer(m_fd, buffer.handle);
    }
}

double DrmScanout::refreshHz() const {
    const double lines = double(m_mode.vtotal) * (m_mode.flags & DRM_MODE_FLAG_DBLSCAN ? 2 : 1) /
                         (m_mode.flags & DRM_MODE_FLAG_INTERLACE ? 2 : 1);
    if (m_mode.htotal == 0 || lines == 0)
        return m_mode.vrefresh;
    return m_mode.clock * 1000.0 / (m_mode.htotal * lines);
}

bool DrmScanout::displayConnected() const {
    // The current state, without a new probe of the link, which can take long enough to be seen.
    drmModeConnector *connector = drmModeGetConnectorCurrent(m_fd, m_connectorId);
    if (!connector)
        return false;
    const bool connected = connector->connection != DRM_MODE_DISCONNECTED;
    drmModeFreeConnector(connector);
    return connected;
}

bool DrmScanout::linkBroken() const {
    if (!m_linkStatusProperty)
        return false;
    drmModeConnector *connector = drmModeGetConnectorCurrent(m_fd, m_connectorId);
    if (!connector)
        return false;
    bool broken = false;
    for (int i = 0; i < connector->count_props; ++i) {
        if (connector->props[i] == m_linkStatusProperty)
            broken = connector->prop_values[i] == DRM_MODE_LINK_STATUS_BAD;
    }
    drmModeFreeConnector(connector);
    return broken;
}

bool DrmScanout::setModeAgain(QString *problem) {
    return show(m_newest, problem);
}

bool DrmScanout::findDisplay(QString *problem) {
    // A lease shows its holder only what it leased: one connector and one CRTC, by the kernel's
    // own ids, which are not the X server's ids for them.
    drmModeRes *resources = drmModeGetResources(m_fd);
    if (!resources) {
        *problem = QStringLiteral("the lease shows no display (%1)").arg(errorText(0));
        return false;
    }
    const uint32_t crtcId = resources->count_crtcs == 1 ? resources->crtcs[0] : 0;
    bool connected = false;
    for (int i = 0; i < resources->count_connectors && !m_connectorId; ++i) {
        drmModeConnector *connector = drmModeGetConnector(m_fd, resources->connectors[i]);
        if (!connector)
            continue;
        connected = connected || connector->connection == DRM_MODE_CONNECTED;
        if (connector->connection == DRM_MODE_CONNECTED && connector->count_modes > 0) {
            m_connectorId = connector->connector_id;
            m_linkStatusProperty = linkStatusPropertyOf(m_fd, *connector);
            m_mode = connector->modes[0];
            for (int m = 0; m < connector->count_modes; ++m) {
                if (connector->modes[m].type & DRM_MODE_TYPE_PREFERRED) {
                    m_mode = connector->modes[m];
                    break;
                }
            }
        }
        drmModeFreeConnector(connector);
    }
    drmModeFreeResources(resources);
    if (!crtcId) {
        *problem = QStringLiteral("the lease holds no one CRTC to drive the display with");
        return false;
    }
    if (!m_connectorId) {
        *problem = connected ? QStringLiteral("the headset's display offers no mode")
                             : QStringLiteral("the leased connector has no display");
        return false;
    }
    m_crtcId = crtcId;
    if (drmModeCrtc *crtc = drmModeGetCrtc(m_fd, crtcId)) {
        m_gammaSize = crtc->gamma_size;
        drmModeFreeCrtc(crtc);
    }
    return true;
}

bool DrmScanout::makeBuffer(Buffer &buffer, QString *problem) {
    const QSize pixels = size();
    uint64_t offset = 0;
    int result = drmModeCreateDumbBuffer(m_fd, m_mode.hdisplay, m_mode.vdisplay, 32, 0,
                                         &buffer.handle, &buffer.pitch, &buffer.size);
    if (result == 0) {
        result = drmModeAddFB(m_fd, m_mode.hdisplay, m_mode.vdisplay, 24, 32, buffer.pitch,
                              buffer.handle, &buffer.framebuffer);
        if (result != 0)
            buffer.framebuffer = 0;
    } else {
        buffer.handle = 0;
    }
    if (result == 0)
        result = drmModeMapDumbBuffer(m_fd, buffer.handle, &offset);
    if (result != 0) {
        *problem = QStringLiteral("the display's %1x%2 mode needs pictures its driver cannot hold "
                                  "(%3)")
                       .arg(pixels.width())
                       .arg(pixels.height())
                       .arg(errorText(result));
        return false;
    }
    void *map = mmap(nullptr, buffer.size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, off_t(offset));
    if (map == MAP_FAILED) {
        *problem =
            QStringLiteral("the display's pictures cannot be reached (%1)").arg(errorText(0));
        return false;
    }
    buffer.map = map;
    buffer.image = QImage(static_cast<uchar *>(map), pixels.width(), pixels.height(),
                          qsizetype(buffer.pitch), QImage::Format_RGB32);
    return true;
}

bool DrmScanout::show(int index, QString *problem) {
    const int result = drmModeSetCrtc(m_fd, m_crtcId, m_buffers[size_t(index)].framebuffer, 0, 0,
                                      &m_connectorId, 1, &m_mode);
    if (result != 0)
        *problem =
            QStringLiteral("the display's mode could not be set (%1)").arg(errorText(result));
    else
        m_newest = index;
    return result == 0;
}

bool DrmScanout::flip(int index, QString *problem) {
    const int result = drmModePageFlip(m_fd, m_crtcId, m_buffers[size_t(index)].framebuffer,
                                       DRM_MODE_PAGE_FLIP_EVENT, this);
    if (result != 0)
        *problem = QStringLiteral("a picture could not be flipped (%1)").arg(errorText(result));
    else
        m_newest = index;
    return result == 0;
}

bool DrmScanout::handleEvents(QString *problem) {
    drmEventContext context{};
    context.version = 2;
    context.page_flip_handler = &DrmScanout::pageFlipDone;
    if (drmHandleEvent(m_fd, &context) == 0)
        return true;
    *problem = QStringLiteral("the display's events cannot be read (%1)").arg(errorText(0));
    return false;
}

void DrmScanout::pageFlipDone(int, unsigned, unsigned seconds, unsigned microseconds, void *self) {
    auto *scanout = static_cast<DrmScanout *>(self);
    if (scanout->onFlipDone)
        scanout->onFlipDone(qint64(seconds) * 1000000000 + qint64(microseconds) * 1000);
}
