#pragma once

#include "X11Client.h"
#include "XcbConnection.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QVector>

#include <xcb/xcb.h>

#include <vector>

// The dummy Xorg as the capturer's cases and its bench drive it: DUMMY0 is the desktop's first
// display, DUMMY1 the one a headset or a monitor is plugged into, and Pictor runs as a process
// of its own.
class CapturerDesk {
public:
    enum class Dummy1 { Headset, Monitor, Off, NonDesktop };

    CapturerDesk();
    ~CapturerDesk();

    bool isValid() { return m_x.isValid() && m_client.isConnected(); }
    // Each state from any other: the EDID, the non-desktop property and the mode.
    bool setDummy1(Dummy1 state);
    // On the desktop, from RandR; empty while the output has no mode.
    QRect outputRect(const char *output);

    bool startCapturer(QProcess &process);
    // The one mapped window that carries the capturer's mark, within 10 s; 0 if none or several.
    xcb_window_t waitForCapturerWindow();
    // Mapped, and marked as the capturer marks its window.
    std::vector<xcb_window_t> capturerWindows();
    qint64 markOf(xcb_window_t window);
    // Closes it as a window manager would, and waits for it to end.
    bool closeCapturer(QProcess &process, xcb_window_t window);

    // An override-redirect window over `rect`, filled with `colours` in a grid of `columns`.
    xcb_window_t showPattern(const QRect &rect, const QVector<QColor> &colours, int columns);
    void fill(xcb_window_t window, const QRect &rect, QColor colour);
    void destroy(xcb_window_t window);
    void resize(xcb_window_t window, const QSize &size);

    // The root's pixels, as anyone looking at the screen sees them.
    QImage grab(const QRect &rootRect);

    testsupport::X11Client &client() { return m_client; }
    testsupport::XcbConnection &x() { return m_x; }

    static bool run(const QString &program, const QStringList &arguments);

private:
    testsupport::XcbConnection m_x;
    testsupport::X11Client m_client;
    xcb_gcontext_t m_gc = 0;
    bool m_modeAdded = false;
};

// Colours compared channel by channel, with room for what scaling blends in.
bool closeTo(QRgb pixel, QColor expected, int tolerance);
