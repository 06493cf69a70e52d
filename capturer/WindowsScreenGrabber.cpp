#include "WindowsScreenGrabber.h"

#include <cmath>
#include <cstring>

std::unique_ptr<ScreenGrabber> ScreenGrabber::create() {
    return std::make_unique<WindowsScreenGrabber>();
}

WindowsScreenGrabber::WindowsScreenGrabber() {
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &WindowsScreenGrabber::grab);
}

WindowsScreenGrabber::~WindowsScreenGrabber() {
    release();
}

void WindowsScreenGrabber::follow(const QRect &rect, double refreshHz) {
    m_tick.setInterval(refreshHz > 1 ? int(std::ceil(1000.0 / refreshHz)) : 16);
    if (rect == m_rect)
        return;
    release();
    m_rect = rect;
    if (!m_rect.isEmpty()) {
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
            release();
            emit frameChanged();
            return;
        }
        m_bits = static_cast<uchar *>(bits);
        m_previousBitmap = SelectObject(m_memory, m_bitmap);
        m_tick.start();
        grab();
    }
    emit frameChanged();
}

void WindowsScreenGrabber::grab() {
    if (!m_bits)
        return;
    if (!BitBlt(m_memory, 0, 0, m_rect.width(), m_rect.height(), m_screen, m_rect.x(), m_rect.y(),
                SRCCOPY)) {
        // The rectangle left the desktop, or the desktop is locked: look again.
        emit displaysChanged();
        return;
    }
    GdiFlush();
    const size_t bytes = size_t(m_rect.width()) * size_t(m_rect.height()) * 4;
    if (m_last.size() == bytes && std::memcmp(m_last.data(), m_bits, bytes) == 0)
        return;
    m_last.assign(m_bits, m_bits + bytes);
    // The DIB's BGRX is QImage's RGB32; the copy is the picture on show, which the next BitBlt
    // must not write into.
    m_frame = QImage(m_last.data(), m_rect.width(), m_rect.height(), m_rect.width() * 4,
                     QImage::Format_RGB32);
    emit frameChanged();
}

void WindowsScreenGrabber::release() {
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
    m_rect = QRect();
}
