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

#include <set>
#include <vector>

// The dummy Xorg as the headset's cases and benches drive it: DUMMY0 is the desktop's first
// display, DUMMY1 the one a headset (a Valve Index's real EDID) or a monitor is plugged into, and
// DUMMY2, where a desk needs a third, another of either; the demo and the capturer run as
// processes of their own, and are looked at as a person sees them.
class HeadsetDesk {
public:
    // What is plugged into an output. NonDesktop on DUMMY2 is as a kernel's headset display in
    // direct mode: kept off the desktop, without a mode. Unplugged leaves the output without an
    // EDID or a mode: the dummy driver counts an output connected once it has had a mode.
    enum class Dummy1 { Headset, Monitor, Off, NonDesktop, Unplugged };
    // An output's gamma table, as the X server keeps it for its CRTC.
    struct GammaTable {
        std::vector<uint16_t> red, green, blue;
        bool operator==(const GammaTable &other) const {
            return red == other.red && green == other.green && blue == other.blue;
        }
    };

    HeadsetDesk();
    ~HeadsetDesk();

    bool isValid() { return m_x.isValid() && m_client.isConnected(); }
    // Each state from any other: the EDID, the non-desktop property and the mode.
    bool setDummy1(Dummy1 state);
    // The same for DUMMY2, right of DUMMY1 while that has a mode, else right of DUMMY0.
    bool setDummy2(Dummy1 state);
    // Takes the EDID property off the output, as an X server without one (Xwayland) has it.
    bool removeEdid(const char *output);
    // The output's CONNECTOR_ID, as Xwayland gives the kernel's connector of an output it names
    // itself; 0 takes it away.
    bool setConnectorId(const char *output, uint32_t connectorId);
    // Gives an output, which the dummy driver offers no mode of its own, one of the modes the
    // cases and benches use, by its name: "1920x1080_60" or "_30", "1280x1024_60", "2880x1600_90"
    // or "_144". False for a name it does not know.
    bool offerMode(const QString &name, const char *output = "DUMMY1");
    // DUMMY0 back at its own 1024x768 at the desktop's origin, after a case moved or resized it.
    static bool resetPrimary();
    // On the desktop, from RandR; empty while the output has no mode.
    QRect outputRect(const char *output);
    // Empty while the output has no mode.
    GammaTable gamma(const char *output);

    bool startCapturer(QProcess &process,
                       QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels);
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
    // What is wrong with a picture of the demo's stereo scene: each half must hold a drawing, not
    // a fill, and the two eyes must see it from their own places. Empty if nothing.
    static QString stereoProblem(const QImage &scene);

private:
    // The CRTC that drives the output with a mode; XCB_NONE if none does.
    uint32_t crtcOf(const char *output);
    bool setOutput(const char *output, Dummy1 state, const char *rightOf, bool modeOffDesktop);

    testsupport::XcbConnection m_x;
    testsupport::X11Client m_client;
    xcb_gcontext_t m_gc = 0;
    std::set<std::pair<QString, QString>> m_offeredModes;
    std::set<QString> m_connected;
};

// Colours compared channel by channel, with room for what scaling blends in.
bool closeTo(QRgb pixel, QColor expected, int tolerance);
// How far apart two pictures are, 0 to 255, after both are scaled down to a coarse grid: what
// scaling blends in, and a frame or two of the demo's slow scene, stay well under 6.
double pictureDifference(const QImage &a, const QImage &b);
