// Frame times of the demo's window at 1920x1080 on the dummy Xorg, paced at 60 Hz as on a
// headset: how long each frame takes to draw and reach the server, the time between frames,
// and the refreshes missed. `cmake --build build --target bench-demoframes` prints them.
#include "DemoWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int frames = 600;

void print(const char *what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("%-18s mean %6.2f ms  median %6.2f ms  p99 %6.2f ms  max %6.2f ms\n", what,
                sum / double(ms.size()), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
}

} // namespace

int main(int argc, char **argv) {
    // A second output at 1920x1080, as a headset's display would be. The dummy driver reports
    // it connected only once a client has probed the outputs, which the last query does.
    for (const QStringList &arguments :
         {QStringList{"--newmode", "1920x1080_60", "148.50", "1920", "2008", "2052", "2200", "1080",
                      "1084", "1089", "1125", "+hsync", "+vsync"},
          QStringList{"--addmode", "DUMMY1", "1920x1080_60"},
          QStringList{"--output", "DUMMY1", "--mode", "1920x1080_60", "--right-of", "DUMMY0"},
          QStringList{"--query"}}) {
        QProcess xrandr;
        xrandr.setStandardOutputFile(QProcess::nullDevice());
        xrandr.start("xrandr", arguments);
        xrandr.waitForFinished();
    }
    QApplication app(argc, argv);
    QScreen *screen = nullptr;
    for (QScreen *candidate : QGuiApplication::screens()) {
        if (candidate->geometry().size() == QSize(1920, 1080))
            screen = candidate;
    }
    if (!screen) {
        std::fprintf(stderr, "bench_demoframes: no 1920x1080 display\n");
        return 1;
    }

    DemoWindow window(QSize(1920, 1080));
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setGeometry(screen->geometry());
    window.show();

    std::vector<double> draw;
    std::vector<double> interval;
    QElapsedTimer clock;
    qint64 last = -1;
    int missedAtStart = 0;
    QObject::connect(&window, &DemoWindow::frameDone, [&](qint64 drawNs, int missed) {
        const qint64 now = clock.nsecsElapsed();
        // The first frames include the window's mapping and are left out.
        if (last < 0) {
            clock.start();
            last = 0;
            missedAtStart = missed;
            return;
        }
        draw.push_back(double(drawNs) / 1e6);
        interval.push_back(double(now - last) / 1e6);
        last = now;
        if (int(draw.size()) == frames) {
            std::printf("%d frames at 1920x1080, paced for 60 Hz (%.2f ms)\n", frames, 1000.0 / 60);
            print("draw and flush", draw);
            print("frame interval", interval);
            std::printf("missed refreshes   %d\n", missed - missedAtStart);
            app.quit();
        }
    });
    window.startFrames(60.0);
    return app.exec();
}
