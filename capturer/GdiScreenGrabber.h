#pragma once

#include "ScreenGrabber.h"

#include <QElapsedTimer>
#include <QTimer>

#include <vector>

#include <windows.h>

// Copies the rectangle from the screen's device context, while the headset's output cannot be
// duplicated (a remote session, wine, another program duplicating it). GDI says nothing of what was
// drawn where, so each copy is compared with the last picture: a changed one is handed on and the
// next copy follows a refresh period later; once the picture has stayed still for a moment the
// copies come ever further apart, down to a few a second, and the first change brings back the full
// rate.
class GdiScreenGrabber final : public ScreenGrabber {
    Q_OBJECT

public:
    GdiScreenGrabber();
    ~GdiScreenGrabber() override;

protected:
    void start() override;
    void stop() override;

private:
    void grab();
    // Whether the copy just made differs from the last picture outside the mirror's own window.
    bool changed() const;

    QTimer m_tick;
    int m_intervalMs = 16;
    QElapsedTimer m_sinceChange;
    HDC m_screen = nullptr;
    HDC m_memory = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previousBitmap = nullptr;
    uchar *m_bits = nullptr;
    std::vector<uchar> m_last;
};
