// Starts the utility and a bare Qt main window in turn, on the same X server, and reports
// for each the time from start until its window is mapped and its resident memory once idle.
#include "X11Client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Sample {
    double mapMs = 0;
    double rssKiB = 0;
};

double residentKiB(qint64 pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble();
    }
    return 0;
}

bool measure(testsupport::X11Client &x, const QString &program, const QByteArray &wmClass,
             const QString &title, Sample &sample) {
    QTemporaryDir runtime;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QFileInfo(program).absolutePath());

    QElapsedTimer clock;
    clock.start();
    process.start(program, QStringList());
    bool mapped = false;
    while (!mapped && clock.elapsed() < 10000) {
        for (xcb_window_t window : x.findTopLevels(wmClass, title))
            mapped = mapped || x.isViewable(window);
        if (!mapped)
            QTest::qWait(1);
    }
    sample.mapMs = double(clock.nsecsElapsed()) / 1e6;
    QTest::qWait(2000);
    sample.rssKiB = residentKiB(process.processId());
    process.kill();
    process.waitForFinished();
    QTest::qWait(200);
    return mapped;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 9;
    testsupport::X11Client x;
    std::vector<double> utilityMap, utilityRss, bareMap, bareRss;
    for (int round = 0; round < rounds; ++round) {
        Sample utility, bare;
        if (!measure(x, HLX_CONFIG_PATH, "hlx-config", "HLX_Configuration_Utility", utility) ||
            !measure(x, BARE_MAINWINDOW_PATH, "bare_mainwindow", QString(), bare)) {
            std::fprintf(stderr, "a window did not appear within 10 s\n");
            return 1;
        }
        utilityMap.push_back(utility.mapMs);
        utilityRss.push_back(utility.rssKiB);
        bareMap.push_back(bare.mapMs);
        bareRss.push_back(bare.rssKiB);
    }
    std::printf("median of %d rounds      start to mapped   resident once idle\n", rounds);
    std::printf("hlx-config               %8.1f ms       %8.0f KiB\n", median(utilityMap),
                median(utilityRss));
    std::printf("bare QMainWindow         %8.1f ms       %8.0f KiB\n", median(bareMap),
                median(bareRss));
    return 0;
}
