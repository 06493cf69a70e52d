#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <xf86drmMode.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

// The picture path of a leased display through the kernel's mode setting: its connector's
// preferred mode on the leased CRTC, scanned out of two buffers in memory that take turns, each
// flip shown at a vertical blank and told by an event on the descriptor. The descriptor stays
// its owner's; everything made on it goes with the object.
class DrmScanout {
public:
    static constexpr int bufferCount = 2;

    // Null where the display cannot be driven; then `problem` says why.
    static std::unique_ptr<DrmScanout> open(int fd, QString *problem);
    ~DrmScanout();
    DrmScanout(const DrmScanout &) = delete;
    DrmScanout &operator=(const DrmScanout &) = delete;

    int fd() const { return m_fd; }
    uint32_t crtcId() const { return m_crtcId; }
    QSize size() const { return {m_mode.hdisplay, m_mode.vdisplay}; }
    double refreshHz() const;
    int gammaSize() const { return m_gammaSize; }
    // Whether the kernel still sees a display on the leased connector, as it last probed it.
    bool displayConnected() const;
    // Whether the kernel found the link to the display broken (its connector's link-status BAD):
    // flips still succeed, but the display shows nothing until the mode is set again.
    bool linkBroken() const;
    // The mode set again, on the buffer last asked for.
    bool setModeAgain(QString *problem);
    // The buffer's memory as a picture, XRGB8888 as QImage::Format_RGB32 keeps it.
    QImage &buffer(int index) { return m_buffers[size_t(index)].image; }

    // The mode set, with the buffer scanned out from now on.
    bool show(int index, QString *problem);
    // The buffer scanned out from the next vertical blank; `onFlipDone` tells when.
    bool flip(int index, QString *problem);
    // Reads what the descriptor has to tell, once it is readable.
    bool handleEvents(QString *problem);

    // A flip done: the vertical blank's time on the monotonic clock, in nanoseconds.
    std::function<void(qint64 vblankNs)> onFlipDone;

private:
    struct Buffer {
        uint32_t handle = 0;
        uint32_t framebuffer = 0;
        uint32_t pitch = 0;
        uint64_t size = 0;
        void *map = nullptr;
        QImage image;
    };

    explicit DrmScanout(int fd)
        : m_fd(fd) {}
    bool findDisplay(QString *problem);
    bool makeBuffer(Buffer &buffer, QString *problem);
    static void pageFlipDone(int fd, unsigned sequence, unsigned seconds, unsigned microseconds,
                             void *self);

    int m_fd;
    uint32_t m_crtcId = 0;
    uint32_t m_connectorId = 0;
    drmModeModeInfo m_mode{};
    int m_gammaSize = 0;
    // The connector's link-status property; 0 where the driver has none.
    uint32_t m_linkStatusProperty = 0;
    int m_newest = 0;
    std::array<Buffer, bufferCount> m_buffers;
};
