// The built demo as the utility starts it, on a dummy Xorg whose second and third outputs carry a
// real headset's or monitor's EDID: where its window lands, what it draws and says, how it keeps
// pace with its display, and when it ends.
#include "DamageFrames.h"
#include "HeadsetDesk.h"

#include <QProcess>
#include <QtTest>

Q_DECLARE_METATYPE(HeadsetDesk::Dummy1)

namespace {

constexpr xcb_keysym_t escapeKey = 0xff1b; // XK_Escape
const QRect dummy0(0, 0, 1024, 768);
const QRect dummy1(1024, 0, 1920, 1080);
using Dummy1 = HeadsetDesk::Dummy1;

// Whether the top of a window holds a caption: light text on black, and none of the scene's
// colours.
bool captioned(const QImage &top) {
    int light = 0, black = 0;
    for (int y = 0; y < top.height(); ++y) {
        for (int x = 0; x < top.width(); ++x) {
            const QRgb pixel = top.pixel(x, y);
            if (std::abs(qRed(pixel) - qBlue(pixel)) > 8 ||
                std::abs(qGreen(pixel) - qBlue(pixel)) > 8)
                return false;
            light += qGray(pixel) > 160;
            black += qGray(pixel) == 0;
        }
    }
    return light >= 50 && black >= top.width() * top.height() / 2;
}

} // namespace

class DemoProcess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void placement_data();
    void placement();
    void ending_data();
    void ending();
    void pace_data();
    void pace();

private:
    xcb_window_t start(const QString &arguments, const QString &scale = QString());

    HeadsetDesk m_desk;
    testsupport::X11Client &m_x = m_desk.client();
    QProcess m_demo;
};

void DemoProcess::initTestCase() {
    QVERIFY(m_desk.isValid());
    // Beside the desk's own 1920x1080 at 60 Hz: the same at 30 Hz, and a Valve Index's own mode.
    for (const char *mode : {"1920x1080_30", "2880x1600_90"})
        QVERIFY(m_desk.offerMode(mode));
}

void DemoProcess::cleanup() {
    if (m_demo.state() != QProcess::NotRunning) {
        m_demo.kill();
        m_demo.waitForFinished();
    }
    // The other cases have two displays, and the primary at its own size.
    QVERIFY(m_desk.setDummy2(Dummy1::Unplugged));
    QVERIFY(HeadsetDesk::resetPrimary());
}

// `scale`: Qt's own scaling of the demo's screens, as a desktop at high DPI sets it.
xcb_window_t DemoProcess::start(const QString &arguments, const QString &scale) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", scale.isEmpty() ? "1" : scale);
    m_demo.setProcessEnvironment(environment);
    m_demo.start(LUMESHOW_PATH, arguments.split(' ', Qt::SkipEmptyParts));
    if (!m_demo.waitForStarted())
        return XCB_NONE;
    xcb_window_t window = XCB_NONE;
    const bool shown = QTest::qWaitFor([&] {
        for (xcb_window_t candidate : m_x.findTopLevels("Lumeshow", QString())) {
            if (m_x.isViewable(candidate))
                window = candidate;
        }
        return window != XCB_NONE;
    });
    return shown ? window : XCB_NONE;
}

void DemoProcess::placement_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<Dummy1>("dummy1");
    QTest::addColumn<Dummy1>("dummy2");
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QRect>("expected");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("said");        // on standard error; empty: nothing at all
    QTest::addColumn<bool>("caption");        // what was said, at the top of the window
    QTest::addColumn<QString>("primaryMode"); // DUMMY0's; empty: its own 1024x768

    const QString utility("-screen-fullscreen 1 -screen-height 1080 -screen-width 1920 -adapter ");
    const QString windowed("-screen-fullscreen 0 -screen-width 800 -screen-height 600");
    const QString none;
    const Dummy1 headsetEdid = Dummy1::Headset, monitorEdid = Dummy1::Monitor, off = Dummy1::Off,
                 nonDesktop = Dummy1::NonDesktop, nothing = Dummy1::Unplugged;
    const QString index("Lumeshow — VLV 91a8");
    QTest::newRow("headset covers its display, whatever -adapter says")
        << utility + "0" << headsetEdid << nothing << none << dummy1 << index << none << false
        << none;
    QTest::newRow("headset under Qt's scaling covers it to the pixel")
        << utility + "1" << headsetEdid << nothing << "1.5" << dummy1 << index << none << false
        << none;
    QTest::newRow("headset, windowed, centred on it")
        << windowed << headsetEdid << nothing << none << QRect(1024 + 560, 240, 800, 600) << index
        << none << false << none;
    QTest::newRow("monitor, -adapter 1") << utility + "1" << monitorEdid << nothing << none
                                         << dummy1 << "Lumeshow — DUMMY1" << none << false << none;
    QTest::newRow("monitor, -adapter 0") << utility + "0" << monitorEdid << nothing << none
                                         << dummy0 << "Lumeshow — DUMMY0" << none << false << none;
    QTest::newRow("-adapter beyond the last: a window on the primary")
        << "-screen-width 800 -screen-height 600 -adapter 7" << nothing << nothing << none
        << QRect(171, 128, 682, 512) << "Lumeshow — DUMMY0"
        << "no display 7" << false << none;
    QTest::newRow("window larger than its display")
        << "-screen-fullscreen 0 -screen-width 3000 -screen-height 2000" << nothing << nothing
        << none << QRect(171, 128, 682, 512) << "Lumeshow — DUMMY0" << none << false << none;
    QTest::newRow("bad width told, display still chosen")
        << "-screen-width abc -adapter 1" << monitorEdid << nothing << none << dummy1
        << "Lumeshow — DUMMY1"
        << "-screen-width" << false << none;
    // Two monitors and a headset in direct mode, whose display X keeps off the desktop and, as a
    // driver without leases, will not lend: never the second monitor that -adapter names.
    const QString why("the display of VLV 91a8 cannot be shown on: the X server keeps "
                      "DUMMY2 off the desktop");
    QTest::newRow("headset in direct mode, -adapter 1: a window on the primary, saying why")
        << utility + "1" << monitorEdid << nonDesktop << none << QRect(171, 128, 682, 512)
        << "Lumeshow — DUMMY0" << why << true << none;
    QTest::newRow("headset in direct mode, windowed, -adapter 1")
        << windowed + " -adapter 1" << monitorEdid << nonDesktop << none
        << QRect(171, 128, 682, 512) << "Lumeshow — DUMMY0" << why << true << none;
    QTest::newRow("a headset on the desktop and another in direct mode: the one on the desktop")
        << utility + "0" << headsetEdid << nonDesktop << none << dummy1 << index << none << false
        << none;
    QTest::newRow("headset switched off, -adapter 1: a window on the primary")
        << utility + "1" << monitorEdid << off << none << QRect(171, 128, 682, 512)
        << "Lumeshow — DUMMY0"
        << "the display of VLV 91a8 cannot be shown on: DUMMY2 is connected but "
           "switched off"
        << true << none;
    QTest::newRow("headset in direct mode, on a 1280x1024 primary: two thirds of it, centred")
        << utility + "1" << nonDesktop << nothing << none << QRect(213, 171, 853, 682)
        << "Lumeshow — DUMMY0"
        << "the display of VLV 91a8 cannot be shown on: the X server keeps DUMMY1 off the desktop"
        << true << "1280x1024_60";
    QTest::newRow("no headset at all: -adapter 2 followed")
        << utility + "2" << monitorEdid << monitorEdid << none << QRect(2944, 0, 1920, 1080)
        << "Lumeshow — DUMMY2" << none << false << none;
}

void DemoProcess::placement() {
    QFETCH(QString, arguments);
    QFETCH(Dummy1, dummy1);
    QFETCH(Dummy1, dummy2);
    QFETCH(QRect, expected);
    QFETCH(QString, said);
    QFETCH(QString, scale);
    QFETCH(bool, caption);
    QFETCH(QString, primaryMode);
    QVERIFY(m_desk.setDummy2(Dummy1::Unplugged));
    if (!primaryMode.isEmpty())
        QVERIFY(m_desk.offerMode(primaryMode, "DUMMY0") &&
                HeadsetDesk::run("xrandr", {"--output", "DUMMY0", "--mode", primaryMode}));
    QVERIFY(m_desk.setDummy1(dummy1));
    QVERIFY(m_desk.setDummy2(dummy2));
    const xcb_window_t window = start(arguments, scale);
    QVERIFY(window != XCB_NONE);
    QCOMPARE(m_x.rootGeometry(window), expected);
    QTEST(m_x.title(window), "title");
    // Frameless only where it covers a whole display.
    bool fillsDisplay = false;
    for (const char *output : {"DUMMY0", "DUMMY1", "DUMMY2"})
        fillsDisplay = fillsDisplay || m_desk.outputRect(output) == expected;
    QCOMPARE(m_x.asksToBeFrameless(window), fillsDisplay);
    // The first frames may still be on their way to the server.
    QString problem;
    QVERIFY2(QTest::qWaitFor([&] {
                 problem = HeadsetDesk::stereoProblem(m_desk.grab(expected));
                 return problem.isEmpty();
             }),
             qPrintable(problem));
    if (caption) {
        const QRect top(expected.topLeft(), QSize(expected.width(), 24));
        QVERIFY(QTest::qWaitFor([&] { return captioned(m_desk.grab(top)); }));
        // The frames that follow draw only the scene, never over the caption.
        const QImage band = m_desk.grab(top);
        QTest::qWait(300);
        QCOMPARE(m_desk.grab(top), band);
    }

    m_demo.kill();
    m_demo.waitForFinished();
    const QStringList lines = QString::fromLocal8Bit(m_demo.readAllStandardError())
                                  .split('\n')
                                  .filter(QRegularExpression("^Lumeshow: "));
    QCOMPARE(lines.size(), said.isEmpty() ? 0 : 1);
    if (!said.isEmpty())
        QVERIFY2(lines.first().contains(said), qPrintable(lines.first()));
}

void DemoProcess::ending_data() {
    QTest::addColumn<Dummy1>("dummy1");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<bool>("switchOff"); // DUMMY1; else Esc is pressed
    QTest::addColumn<bool>("ends");

    const Dummy1 headsetEdid = Dummy1::Headset, monitorEdid = Dummy1::Monitor;
    QTest::newRow("headset display switched off") << headsetEdid << "-adapter 0" << true << true;
    QTest::newRow("-adapter display switched off") << monitorEdid << "-adapter 1" << true << true;
    QTest::newRow("another display switched off") << monitorEdid << "-adapter 0" << true << false;
    QTest::newRow("Esc") << headsetEdid << "" << false << true;
}

void DemoProcess::ending() {
    QFETCH(Dummy1, dummy1);
    QFETCH(QString, arguments);
    QFETCH(bool, switchOff);
    QFETCH(bool, ends);
    QVERIFY(m_desk.setDummy1(dummy1));
    const xcb_window_t window = start(arguments);
    QVERIFY(window != XCB_NONE);
    if (switchOff) {
        QVERIFY(m_desk.setDummy1(Dummy1::Off));
    } else {
        // No window manager hands out the focus here.
        QVERIFY(m_x.setInputFocus(window));
        QVERIFY(m_x.pressKey(escapeKey));
    }
    QCOMPARE(m_demo.waitForFinished(2000), ends);
    if (ends) {
        QCOMPARE(m_demo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_demo.exitCode(), 0);
    } else {
        QVERIFY(m_x.isViewable(window));
    }
}

void DemoProcess::pace_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QRect>("covers");
    // Frames a second reaching the server once the new mode is on, with room for a busy machine.
    QTest::addColumn<double>("atLeast");
    QTest::addColumn<double>("atMost");

    QTest::newRow("60 Hz to 30 Hz") << "1920x1080_60"
                                    << "1920x1080_30" << dummy1 << 20.0 << 33.0;
    QTest::newRow("30 Hz to 60 Hz") << "1920x1080_30"
                                    << "1920x1080_60" << dummy1 << 40.0 << 63.0;
    QTest::newRow("1080p to the headset's own mode")
        << "1920x1080_60"
        << "2880x1600_90" << QRect(1024, 0, 2880, 1600) << 30.0 << 94.0;
}

void DemoProcess::pace() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QRect, covers);
    QFETCH(double, atLeast);
    QFETCH(double, atMost);
    QVERIFY(m_desk.setDummy1(Dummy1::Headset));
    QVERIFY(HeadsetDesk::run("xrandr", {"--output", "DUMMY1", "--mode", from}));
    const xcb_window_t window =
        start("-screen-fullscreen 1 -screen-height 1080 -screen-width 1920");
    QVERIFY(window != XCB_NONE);
    DamageFrames damage(window);
    QVERIFY(damage.isValid());
    // The modes are named for their rates.
    const auto rateOf = [](const QString &mode) { return mode.section('_', 1).toDouble(); };
    QVERIFY(damage.collect(1000, rateOf(from)).size() > 10);

    QVERIFY(HeadsetDesk::run("xrandr", {"--output", "DUMMY1", "--mode", to}));
    // Within a second the demo takes the new pace and covers the display in its new mode.
    damage.collect(1000, rateOf(to));
    QTRY_COMPARE(m_x.rootGeometry(window), covers);
    QString problem;
    QVERIFY2(QTest::qWaitFor([&] {
                 problem = HeadsetDesk::stereoProblem(m_desk.grab(covers));
                 return problem.isEmpty();
             }),
             qPrintable(problem));
    const double perSecond = DamageFrames::perSecond(damage.collect(3000, rateOf(to)));
    qInfo("%.1f frames a second at %s", perSecond, qPrintable(to));
    QVERIFY2(perSecond >= atLeast && perSecond <= atMost,
             qPrintable(QStringLiteral("%1 frames a second").arg(perSecond)));
}

QTEST_GUILESS_MAIN(DemoProcess)
#include "tst_demoprocess.moc"
