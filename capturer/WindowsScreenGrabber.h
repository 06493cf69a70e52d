#pragma once

#include "ScreenGrabber.h"

#include <QTimer>

#include <vector>

#include <windows.h>

// Copies the rectangle from the screen's device context once a refresh period. Windows says
// nothing of what was drawn where without a desktop duplication, so each copy is compared with
// the one before, and only a changed picture is handed on to be painted.
class WindowsScreenGrabber final : public ScreenGrabber {
    Q_OBJECT

public:
    WindowsScreenGrabber();
    ~WindowsScreenGrabber() override;

    void follow(const QRect &rect, double refreshHz) override;

private:
    void grab();
    void release();

    QRect m_rect;
    QTimer m_tick;
    HDC m_screen = nullptr;
    HDC m_memory = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previousBitmap = nullptr;
    uchar *m_bits = nullptr;
    std::vector<uchar> m_last;
};
