// How quickly and how cheaply Pictor mirrors a 1920x1080 headset display on the dummy Xorg:
//
//   tests/support/with-dummy-xorg.sh build/tests/bench_mirror
//
// (a) the delay from a new colour drawn on DUMMY1 to that colour in the capturer's window, over
// 100 changes; (b) the CPU the capturer (and the X server, which copies the pixels for it) spends
// in 10 s with the picture changing every 60 Hz frame, and in 10 s with the picture still.
#include "HeadsetDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// utime + stime, in seconds.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command, whose name may hold spaces and parentheses.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(sysconf(_SC_CLK_TCK));
}

// The X server that with-dummy-xorg.sh started beside us.
qint64 xServerPid() {
    const QString parent = QString::number(getppid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (text.contains("(Xorg)") && fields.value(1) == parent.toLatin1())
            return entry.toLongLong();
    }
    return 0;
}

QColor colourNumber(int i) {
    return QColor::fromHsv((i * 67) % 360, 255, 128 + (i % 2) * 127);
}

void load(const char *what, HeadsetDesk &desk, xcb_window_t target, const QRect &area,
          qint64 capturer, qint64 server, bool changing) {
    const double capturerBefore = cpuSeconds(capturer);
    const double serverBefore = server ? cpuSeconds(server) : 0;
    const auto start = Clock::now();
    const auto period = std::chrono::microseconds(16667);
    int frame = 0;
    while (Clock::now() - start < std::chrono::seconds(10)) {
        if (changing) {
            desk.fill(target, QRect(QPoint(), area.size()), colourNumber(frame));
            desk.x().sync();
        }
        ++frame;
        std::this_thread::sleep_until(start + frame * period);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("(b) %s for %.1f s: capturer %.1f %% of a core", what, seconds,
                100 * (cpuSeconds(capturer) - capturerBefore) / seconds);
    if (server)
        std::printf(", X server %.1f %%", 100 * (cpuSeconds(server) - serverBefore) / seconds);
    std::printf("\n");
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

    const qint64 server = xServerPid();
    load("changing every frame", desk, target, headset, capturer.processId(), server, true);
    load("still", desk, target, headset, capturer.processId(), server, false);

    desk.closeCapturer(capturer, window);
    return 0;
}
