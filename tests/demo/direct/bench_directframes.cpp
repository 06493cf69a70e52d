// The demo's frames in direct mode, drawn into the buffers of the stand-in of the kernel's mode
// setting on the dummy Xorg (DUMMY1 a Valve Index kept off the desktop), counted from outside: the
// stand-in logs each flip with the vertical blank it shows at, and how long after the blank before
// it the demo asked for it. For each mode it prints, as bench_demoframes does for the X server's
// path, flips a second, the share of flips that missed a blank, the demo's and the X server's CPU,
// and the time from a blank to the next flip's request (which holds waiting for both eyes and the
// copy of what changed into the buffer), once with nobody watching and once with the capturer
// mirroring the frames. `cmake --build build --target bench-directframes`.
#include "FromOutside.h"
#include "HeadsetDesk.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int measuredMs = 10000;

struct Mode {
    QSize size;
    int hz = 0;
};

const Mode modes[] = {{{1920, 1080}, 60}, {{2880, 1600}, 90}, {{2880, 1600}, 144}};

QList<QByteArray> logLines(const QString &folder) {
    QFile log(folder + "/log");
    return log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QList<QByteArray>();
}

bool measure(HeadsetDesk &desk, const Mode &mode, bool mirrored) {
    QTemporaryDir folder;
    QProcess demo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HLX_DRM_STANDIN_DIR", folder.path());
    environment.insert("HLX_DRM_STANDIN_HZ", QString::number(mode.hz));
    environment.insert("HLX_DRM_STANDIN_MODE",
                       QStringLiteral("%1x%2").arg(mode.size.width()).arg(mode.size.height()));
    demo.setProcessEnvironment(environment);
    demo.setProcessChannelMode(QProcess::ForwardedChannels);
    demo.start(LUMESHOW_STANDIN_PATH, QStringList());
    QString name =
        QStringLiteral("%1x%2@%3").arg(mode.size.width()).arg(mode.size.height()).arg(mode.hz);
    QProcess capturer;
    xcb_window_t mirror = XCB_NONE;
    if (mirrored) {
        name += " mirrored";
        if (!desk.startCapturer(capturer) || !(mirror = desk.waitForCapturerWindow())) {
            std::fprintf(stderr, "bench_directframes: no capturer at %s\n", qPrintable(name));
            return false;
        }
    }
    const bool flipping = QTest::qWaitFor(
        [&] {
            const QList<QByteArray> lines = logLines(folder.path());
            return std::count_if(lines.begin(), lines.end(), [](const QByteArray &line) {
                       return line.startsWith("flip ");
                   }) > 2;
        },
        10000);
    if (!flipping) {
        std::fprintf(stderr, "bench_directframes: no flips at %s\n", qPrintable(name));
        return false;
    }
    // The first frames include the demo's start.
    QTest::qWait(1500);
    const int before = int(logLines(folder.path()).size());
    const qint64 server = fromoutside::xServerPid();
    const double cpuBefore = fromoutside::cpuSeconds(demo.processId());
    const double serverBefore = fromoutside::cpuSeconds(server);
    QTest::qWait(measuredMs);
    const double cpu =
        (fromoutside::cpuSeconds(demo.processId()) - cpuBefore) / (measuredMs / 1000.0);
    const double serverCpu =
        (fromoutside::cpuSeconds(server) - serverBefore) / (measuredMs / 1000.0);
    const QList<QByteArray> lines = logLines(folder.path()).mid(before);
    demo.kill();
    demo.waitForFinished();
    if (mirrored)
        desk.closeCapturer(capturer, mirror);

    int flips = 0, missed = 0;
    qlonglong first = -1, last = -1;
    QVector<double> askedMs;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.value(0) == "flip" && !line.contains("refused")) {
            const qlonglong vblank = fields.value(5).toLongLong();
            missed += last >= 0 && vblank > last + 1;
            first = first < 0 ? vblank : first;
            last = vblank;
            ++flips;
        } else if (fields.value(0) == "asked") {
            askedMs << fields.value(2).toDouble() / 1000.0;
        }
    }
    std::sort(askedMs.begin(), askedMs.end());
    const auto percentile = [&](double share) {
        return askedMs.isEmpty() ? 0.0 : askedMs[int(share * (askedMs.size() - 1))];
    };
    const double seconds = double(last - first + 1) / mode.hz;
    const double perSecond = seconds > 0 ? flips / seconds : 0;
    std::printf("%-23s %4d frames  %7.2f a second (%5.1f %% of the refresh)  late %5.2f %%  "
                "CPU of a core: demo %5.1f %%, X server %5.1f %%  asked after the blank: median "
                "%.2f ms, 99th %.2f ms, CPU %.2f ms a frame\n",
                qPrintable(name), flips, perSecond, 100.0 * perSecond / mode.hz,
                flips > 1 ? 100.0 * missed / (flips - 1) : 0.0, 100.0 * cpu, 100.0 * serverCpu,
                percentile(0.5), percentile(0.99), flips ? cpu * measuredMs / flips : 0.0);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    HeadsetDesk desk;
    if (!desk.isValid() || !desk.setDummy1(HeadsetDesk::Dummy1::NonDesktop)) {
        std::fprintf(stderr, "bench_directframes: no dummy Xorg with a second output\n");
        return 1;
    }
    std::printf("load average: %s\n", fromoutside::loadAverage().constData());
    bool ok = true;
    for (const Mode &mode : modes) {
        for (const bool mirrored : {false, true})
            ok = measure(desk, mode, mirrored) && ok;
    }
    return ok ? 0 : 1;
}
