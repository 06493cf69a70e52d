// How quickly and how cheaply Pictor mirrors a 1920x1080 headset display on the dummy Xorg:
//
//   tests/support/with-dummy-xorg.sh build/tests/bench_mirror
//
// (a) the delay from a new colour drawn on DUMMY1 to that colour in the capturer's window, over
// 100 changes; (b) the CPU the capturer (and the X server, which copies the pixels for it) spends
// in 10 s with the picture changing every 60 Hz frame, and in 10 s with the picture still; (c) the
// same with the capturer's window unmapped and minimised, and how soon the picture of the moment
// shows when the window comes back; (d) with the real demo on the headset's display, the window
// shown, unmapped and minimised; (e) on a desktop that is all headset, where the capturer's window
// lies on the display it mirrors, with the picture still and with a corner changing every frame.
#include "FromOutside.h"
#include "HeadsetDesk.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

QColor colourNumber(int i) {
    return QColor::fromHsv((i * 67) % 360, 255, 128 + (i % 2) * 127);
}

using fromoutside::cpuSeconds;

void load(const char *what, HeadsetDesk &desk, xcb_window_t target, const QRect &area,
          qint64 capturer, qint64 server, bool changing) {
    const double capturerBefore = cpuSeconds(capturer);
    const double serverBefore = server ? cpuSeconds(server) : 0;
    const auto start = Clock::now();
    const auto period = std::chrono::microseconds(16667);
    int frame = 0;
    while (Clock::now() - start < std::chrono::seconds(10)) {
        if (changing) {
            desk.fill(target, area, colourNumber(frame));
            desk.x().sync();
        }
        ++frame;
        std::this_thread::sleep_until(start + frame * period);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%s for %.1f s: capturer %.2f %% of a core", what, seconds,
                100 * (cpuSeconds(capturer) - capturerBefore) / seconds);
    if (server)
        std::printf(", X server %.1f %%", 100 * (cpuSeconds(server) - serverBefore) / seconds);
    std::printf("\n");
}

// The milliseconds until `colour` shows at `probe`; negative if it does not within 2 s.
double delayUntil(HeadsetDesk &desk, const QRect &probe, QColor colour) {
    const auto drawn = Clock::now();
    while (Clock::now() - drawn < std::chrono::seconds(2)) {
        const QImage pixels = desk.grab(probe);
        if (!pixels.isNull() &&
            closeTo(pixels.pixel(probe.width() / 2, probe.height() / 2), colour, 8))
            return std::chrono::duration<double, std::milli>(Clock::now() - drawn).count();
    }
    return -1;
}

// The window taken out of sight as a window manager would for `how`, the load measured, and the
// window brought back while the picture shows a new colour.
void loadUnseen(const char *how, HeadsetDesk &desk, xcb_window_t window, xcb_window_t target,
                const QRect &area, const QRect &probe, qint64 capturer, qint64 server,
                bool changing) {
    testsupport::XcbConnection &x = desk.x();
    const bool minimised = std::strcmp(how, "minimised") == 0;
    if (minimised)
        desk.client().iconifyAsWindowManager(window);
    else
        xcb_unmap_window(x.get(), window);
    x.sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    load(QByteArray("    ").append(how).constData(), desk, target, area, capturer, server,
         changing);
    // Drawn while out of sight, unless the demo covers the picture.
    const QColor now(Qt::white);
    if (changing) {
        desk.fill(target, area, now);
        x.sync();
    }
    if (minimised)
        fromoutside::restoreAsWindowManager(x, window);
    xcb_map_window(x.get(), window);
    x.sync();
    if (!changing)
        return;
    std::printf("    shown again: the picture of now in the window after %.1f ms\n",
                delayUntil(desk, probe, now));
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    HeadsetDesk desk;
    if (!desk.isValid() || !desk.setDummy1(HeadsetDesk::Dummy1::Headset)) {
        std::fprintf(stderr, "bench_mirror: no dummy Xorg with DUMMY1 to drive\n");
        return 1;
    }
    const QRect headset = desk.outputRect("DUMMY1");
    const xcb_window_t target = desk.showPattern(headset, {Qt::black}, 1);
    QProcess capturer;
    if (!desk.startCapturer(capturer)) {
        std::fprintf(stderr, "bench_mirror: the capturer did not start\n");
        return 1;
    }
    const xcb_window_t window = desk.waitForCapturerWindow();
    if (!window) {
        std::fprintf(stderr, "bench_mirror: the capturer showed no window\n");
        return 1;
    }
    const QRect shown = desk.client().rootGeometry(window);
    // A few pixels about the middle of the window, where the mirror's picture is.
    const QRect probe(shown.center() - QPoint(1, 1), QSize(3, 3));
    std::printf("headset %dx%d at %d,%d; capturer window %dx%d\n", headset.width(),
                headset.height(), headset.x(), headset.y(), shown.width(), shown.height());

    std::mt19937 random(1);
    std::vector<double> delays;
    for (int i = 1; i <= 100; ++i) {
        const QColor colour = colourNumber(i);
        desk.fill(target, QRect(QPoint(), headset.size()), colour);
        desk.x().sync();
        const auto drawn = Clock::now();
        bool arrived = false;
        while (!arrived && Clock::now() - drawn < std::chrono::seconds(2)) {
            const QImage pixels = desk.grab(probe);
            arrived = !pixels.isNull() && closeTo(pixels.pixel(1, 1), colour, 8);
        }
        if (!arrived) {
            std::fprintf(stderr, "bench_mirror: change %d never reached the window\n", i);
            return 1;
        }
        delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - drawn).count());
        // Changes at any phase of the capturer's refresh period, not in step with it.
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + random() % 17000));
    }
    std::sort(delays.begin(), delays.end());
    std::printf("(a) delay over %zu changes: median %.2f ms, 90th %.2f ms, max %.2f ms\n",
                delays.size(), delays[delays.size() / 2], delays[delays.size() * 9 / 10],
                delays.back());

    const qint64 server = fromoutside::xServerPid();
    const QRect whole(QPoint(), headset.size());
    std::printf("(b) the window shown\n");
    load("    changing every frame", desk, target, whole, capturer.processId(), server, true);
    load("    still", desk, target, whole, capturer.processId(), server, false);

    std::printf("(c) the window out of sight, the picture changing every frame\n");
    for (const char *how : {"unmapped", "minimised"})
        loadUnseen(how, desk, window, target, whole, probe, capturer.processId(), server, true);

    QProcess demo;
    demo.setProcessChannelMode(QProcess::ForwardedChannels);
    demo.start(QStringLiteral(LUMESHOW_PATH), {"-screen-fullscreen", "1", "-screen-height", "1080",
                                               "-screen-width", "1920", "-adapter", "1"});
    if (demo.waitForStarted(5000)) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        std::printf("(d) the real demo running on the headset's display\n");
        load("    the window shown", desk, target, whole, capturer.processId(), server, false);
        for (const char *how : {"unmapped", "minimised"})
            loadUnseen(how, desk, window, target, whole, probe, capturer.processId(), server,
                       false);
        demo.terminate();
        demo.waitForFinished(5000);
    }
    desk.closeCapturer(capturer, window);

    // The headset's display alone on the desktop: the capturer's window lands on it.
    HeadsetDesk::run("xrandr",
                     {"--output", "DUMMY0", "--off", "--output", "DUMMY1", "--pos", "0x0"});
    desk.destroy(target);
    const xcb_window_t alone = desk.showPattern(desk.outputRect("DUMMY1"), {Qt::black}, 1);
    QProcess selfSeen;
    const xcb_window_t seen = desk.startCapturer(selfSeen) ? desk.waitForCapturerWindow() : 0;
    if (seen) {
        const QRect onHeadset = desk.client().rootGeometry(seen);
        std::printf("(e) a desktop that is all headset, the capturer's window %dx%d at %d,%d\n",
                    onHeadset.width(), onHeadset.height(), onHeadset.x(), onHeadset.y());
        std::this_thread::sleep_for(std::chrono::seconds(1));
        load("    still", desk, alone, whole, selfSeen.processId(), server, false);
        load("    a corner changing every frame", desk, alone, QRect(0, 0, 400, 200),
             selfSeen.processId(), server, true);
        desk.closeCapturer(selfSeen, seen);
    }
    HeadsetDesk::resetPrimary();
    return 0;
}
