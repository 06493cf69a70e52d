// The demo's frame rate at a headset's own modes on the dummy Xorg, measured from outside: the
// built demo runs full screen on DUMMY1, which carries a Valve Index's EDID, and its frames are
// counted as they reach the X server (DAMAGE notices with the server's time). For each mode it
// prints frames a second, the share of intervals longer than one and a half periods, and the
// demo's and the X server's CPU. `cmake --build build --target bench-demoframes` prints them; the
// first argument, if any, names another build of the demo to measure.
#include "DamageFrames.h"
#include "FromOutside.h"
#include "HeadsetDesk.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int measuredMs = 10000;

struct Mode {
    const char *name = nullptr;
    QSize size;
    double hz = 0;
};

// The common 1080p, and the Index's own modes, at the rates their timings give.
const Mode modes[] = {
    {"1920x1080_60", {1920, 1080}, 60.0},
    {"2880x1600_90", {2880, 1600}, 90.0026},
    {"2880x1600_144", {2880, 1600}, 144.0002},
};

bool measure(HeadsetDesk &desk, const QString &demoPath, const Mode &mode) {
    if (!desk.offerMode(mode.name) ||
        !HeadsetDesk::run(QStringLiteral("xrandr"), {"--output", "DUMMY1", "--mode", mode.name}))
        return false;

    QProcess demo;
    demo.setProcessChannelMode(QProcess::ForwardedChannels);
    demo.start(demoPath,
               {"-screen-fullscreen", "1", "-screen-width", QString::number(mode.size.width()),
                "-screen-height", QString::number(mode.size.height())});
    xcb_window_t window = XCB_NONE;
    const bool shown = QTest::qWaitFor(
        [&] {
            for (xcb_window_t candidate : desk.client().findTopLevels("Lumeshow", QString()))
                window = desk.client().isViewable(candidate) ? candidate : window;
            return window != XCB_NONE;
        },
        10000);
    DamageFrames damage(window);
    if (!shown || !damage.isValid()) {
        std::fprintf(stderr, "bench_demoframes: no demo window at %s\n", mode.name);
        return false;
    }
    // The first frames include the window's mapping and the demo's start.
    damage.collect(1500, mode.hz);
    const qint64 server = fromoutside::xServerPid();
    const double cpuBefore = fromoutside::cpuSeconds(demo.processId());
    const double serverBefore = fromoutside::cpuSeconds(server);
    const DamageFrames::Pace pace =
        DamageFrames::pace(damage.collect(measuredMs, mode.hz), mode.hz);
    const double cpu =
        (fromoutside::cpuSeconds(demo.processId()) - cpuBefore) / (measuredMs / 1000.0);
    const double serverCpu =
        (fromoutside::cpuSeconds(server) - serverBefore) / (measuredMs / 1000.0);
    demo.kill();
    demo.waitForFinished();
    std::printf("%-14s %4d frames  %7.2f a second (%5.1f %% of the refresh)  late %5.2f %%  "
                "CPU of a core: demo %5.1f %%, X server %5.1f %%\n",
                mode.name, pace.frames, pace.perSecond, 100.0 * pace.perSecond / mode.hz,
                100.0 * pace.lateShare, 100.0 * cpu, 100.0 * serverCpu);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    HeadsetDesk desk;
    if (!desk.isValid() || !desk.setDummy1(HeadsetDesk::Dummy1::Headset)) {
        std::fprintf(stderr, "bench_demoframes: no dummy Xorg with a second output\n");
        return 1;
    }
    std::printf("load average: %s\n", fromoutside::loadAverage().constData());
    const QString demoPath = app.arguments().value(1, QStringLiteral(LUMESHOW_PATH));
    bool ok = true;
    for (const Mode &mode : modes)
        ok = measure(desk, demoPath, mode) && ok;
    return ok ? 0 : 1;
}
