#include "GdiScreenGrabber.h"

#include <algorithm>
#include <cstring>

namespace {

// The slowest pace of copies while the picture stays still: a change then shows within a third of
// a second, at a twentieth of the full rate's cost on a 60 Hz display.
constexpr int kStillIntervalMs = 333;
// How long the picture has to stay still before the copies slow down: a scene drawn at a few
// frames a second, slower than the display refreshes, still moves.
constexpr int kStillAfterMs = 500;

} // namespace

GdiScreenGrabber::GdiScreenGrabber() {
    m_tick.setSingleShot(true);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &GdiScreenGrabber::grab);
}

GdiScreenGrabber::~GdiScreenGrabber() {
    stop();
}

void GdiScreenGrabber::start() {
    m_screen = GetDC(nullptr);
    m_memory = CreateCompatibleDC(m_screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = m_rect.width();
    // Negative: top row first, as QImage has it.
    info.bmiHeader.biHeight = -m_rect.height();
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    m_bitmap = CreateDIBSection(m_memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_screen || !m_memory || !m_bitmap) {
        stop();
        return;
    }
    m_bits = static_cast<uchar *>(bits);
    m_previousBitmap = SelectObject(m_memory, m_bitmap);
    m_intervalMs = periodMs();
    m_sinceChange.start();
    grab();
}

void GdiScreenGrabber::grab() {
    if (!m_bits)
        return;
    if (!BitBlt(m_memory, 0, 0, m_rect.width(), m_rect.height(), m_screen, m_rect.x(), m_rect.y(),
                SRCCOPY)) {
        // The rectangle left the desktop, or the desktop is locked: look again, and meanwhile
        // try no faster than a still picture is copied.
        m_tick.start(kStillIntervalMs);
        emit displaysChanged();
        return;
    }
    GdiFlush();
    if (m_frame.isNull() || changed()) {
        m_last.assign(m_bits, m_bits + size_t(m_rect.width()) * size_t(m_rect.height()) * 4);
        // The DIB's BGRX is QImage's RGB32; the copy is the picture on show, which the next
        // BitBlt must not write into.
        m_frame = QImage(m_last.data(), m_rect.width(), m_rect.height(), m_rect.width() * 4,
                         QImage::Format_RGB32);
        m_intervalMs = periodMs();
        m_sinceChange.start();
        emit frameChanged();
    } else if (m_sinceChange.elapsed() >= kStillAfterMs) {
        m_intervalMs = std::min(m_intervalMs * 2, std::max(kStillIntervalMs, periodMs()));
    }
    m_tick.start(m_intervalMs);
}

bool GdiScreenGrabber::changed() const {
    const int width = m_rect.width();
    const size_t stride = size_t(width) * 4;
    const QRect own = m_ownWindow.intersected(m_rect).translated(-m_rect.topLeft());
    for (int y = 0; y < m_rect.height(); ++y) {
        const uchar *now = m_bits + y * stride;
        const uchar *was = m_last.data() + y * stride;
        if (own.isEmpty() || y < own.top() || y > own.bottom()) {
            if (std::memcmp(now, was, stride) != 0)
                return true;
            continue;
        }
        const size_t left = size_t(own.left()) * 4;
        const size_t right = size_t(own.right() + 1) * 4;
        if (std::memcmp(now, was, left) != 0 ||
            std::memcmp(now + right, was + right, stride - right) != 0)
            return true;
    }
    return false;
}

void GdiScreenGrabber::stop() {
    m_tick.stop();
    m_frame = QImage();
    m_last.clear();
    if (m_memory && m_previousBitmap)
        SelectObject(m_memory, m_previousBitmap);
    if (m_bitmap)
        DeleteObject(m_bitmap);
    if (m_memory)
        DeleteDC(m_memory);
    if (m_screen)
        ReleaseDC(nullptr, m_screen);
    m_screen = nullptr;
    m_memory = nullptr;
    m_bitmap = nullptr;
    m_previousBitmap = nullptr;
    m_bits = nullptr;
}
