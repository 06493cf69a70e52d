// Sends 10,000 device messages to a running utility from the stand-in device side, and reports
// how many the utility handles per second and how long after the last one the display shows
// the final state. Twice: messages that toggle the display link, so every one redraws, and
// game messages, which the utility only compares.
#include "X11Client.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPairs = 4999;              // two messages each
constexpr int kMessages = 2 * kPairs + 2; // and the final plug
// Where the status text is drawn, below the menu bar.
constexpr int kStatusTop = 320;
constexpr int kStatusBottom = 395;

bool device(const QStringList &arguments) {
    return QProcess::execute(QStringLiteral(HLX_BIN_DIR "/hlx-device"), arguments) == 0;
}

bool showsGreenStatus(testsupport::X11Client &x, xcb_window_t window) {
    const QRect frame = x.rootGeometry(window);
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, frame.x(), frame.y() + kStatusTop, frame.width(),
                                         kStatusBottom - kStatusTop)
                            .toImage();
    for (int yy = 0; yy < shot.height(); ++yy) {
        for (int xx = 0; xx < shot.width(); ++xx) {
            if ((shot.pixel(xx, yy) & 0xffffff) == 0x00ff00)
                return true;
        }
    }
    return false;
}

struct Round {
    double sendMs = 0;
    double handledMs = 0;
    double afterLastMs = 0;
};

bool measure(testsupport::X11Client &x, xcb_window_t window, const QStringList &pair,
             Round &round) {
    if (!device({"unplug"}) || !QTest::qWaitFor([&] { return !showsGreenStatus(x, window); }))
        return false;
    QElapsedTimer clock;
    clock.start();
    const bool sent =
        device(QStringList{"--repeat", QString::number(kPairs)} + pair) && device({"plug"});
    // hlx-device waits for the server's reply, so every message is queued for us by now.
    const qint64 lastSentNs = clock.nsecsElapsed();
    while (sent && !showsGreenStatus(x, window) && clock.elapsed() < 120000)
        QCoreApplication::processEvents();
    const qint64 shownNs = clock.nsecsElapsed();
    round = {double(lastSentNs) / 1e6, double(shownNs) / 1e6, double(shownNs - lastSentNs) / 1e6};
    return sent && showsGreenStatus(x, window);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    testsupport::X11Client x;
    QTemporaryDir runtime;
    QTemporaryDir work;
    QProcess utility;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    utility.setProcessEnvironment(environment);
    utility.setWorkingDirectory(work.path());
    utility.start(QStringLiteral(HLX_CONFIG_PATH), QStringList());

    xcb_window_t window = XCB_WINDOW_NONE;
    static_cast<void>(QTest::qWaitFor([&] {
        for (xcb_window_t found : x.findTopLevels("hlx-config", "HLX_Configuration_Utility")) {
            if (x.isViewable(found))
                window = found;
        }
        return window != XCB_WINDOW_NONE;
    }));
    if (window == XCB_WINDOW_NONE) {
        std::fprintf(stderr, "the utility did not show its window\n");
        return 1;
    }

    const QList<QPair<const char *, QStringList>> scenarios = {
        {"display link toggled (each redraws)", {"monitor-added", "monitor-removed"}},
        {"game messages (none redraws)", {"game-start", "game-stop"}},
    };
    constexpr int kRounds = 3;
    for (const auto &[name, pair] : scenarios) {
        std::vector<double> rates;
        std::vector<double> afterLast;
        std::vector<double> sending;
        for (int i = 0; i < kRounds; ++i) {
            Round round;
            if (!measure(x, window, pair, round)) {
                std::fprintf(stderr, "%s, round %d: the final state was not shown\n", name, i + 1);
                return 1;
            }
            rates.push_back(kMessages / (round.handledMs / 1000.0));
            afterLast.push_back(round.afterLastMs);
            sending.push_back(round.sendMs);
        }
        std::printf("%s: %d messages, median of %d rounds\n", name, kMessages, kRounds);
        std::printf("  messages handled per second: %.0f\n", median(rates));
        std::printf("  last message to final display: %.1f ms\n", median(afterLast));
        std::printf("  sender busy: %.1f ms\n", median(sending));
    }
    utility.kill();
    utility.waitForFinished();
    return 0;
}
