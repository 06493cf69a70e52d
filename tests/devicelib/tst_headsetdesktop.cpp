// The built utility with the udev device library on a desktop of two displays, the second a real
// headset's (its EDID on the dummy Xorg's DUMMY1), clicked as a person clicks it: the eye shield
// in the headset display's gamma table and nowhere else, and ShowDemo's demo on the headset with
// the capturer mirroring it on the first display. Then two monitors and a headset in direct mode
// on DUMMY2, which the dummy Xorg, as a driver without leases, will not lend: no monitor taken
// over, no monitor's colours changed, and hlx-headsets saying so.
#include "DeviceMessageWindow.h"
#include "EdidSample.h"
#include "Eyeshield.h"
#include "HeadsetDesk.h"
#include "HeadsetTestbed.h"
#include "LeasedDemo.h"
#include "UtilityProcess.h"
#include "UtilityWindow.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdlib>

Q_DECLARE_METATYPE(HeadsetDesk::Dummy1)
Q_DECLARE_METATYPE(QList<int>)

namespace {

// What the demo and the capturer show is waited for, not timed: each is a process of its own that
// maps its window before it has drawn into it, and beside a build it draws seconds later.
constexpr int kShownWithinMs = 30000;

// Where a picture of `source` size sits in a window of `frame` size, scaled with its aspect kept
// and centred.
QRect letterboxed(QSize source, QRect frame) {
    const QSize fitted = source.scaled(frame.size(), Qt::KeepAspectRatio);
    return QRect(frame.topLeft() + QPoint((frame.width() - fitted.width()) / 2,
                                          (frame.height() - fitted.height()) / 2),
                 fitted);
}

// What is wrong with `table` (red, green, blue after each other) as the plain table warmed to
// 4500 K: each channel the plain one scaled by one factor, red kept and green and blue lowered to
// the black body's 89 % and 73 % (Kim et al.'s curve); empty if nothing.
QString warmProblem(const std::vector<uint16_t> &table) {
    const size_t size = table.size() / 3;
    if (size < 2 || table.size() != 3 * size)
        return QStringLiteral("no table of three channels (%1 entries)").arg(table.size());
    const double expected[] = {1.0, 0.89, 0.73};
    for (size_t channel = 0; channel < 3; ++channel) {
        const uint16_t *entries = table.data() + channel * size;
        const double factor = entries[size - 1] / 65535.0;
        if (std::abs(factor - expected[channel]) > 0.01)
            return QStringLiteral("channel %1 at %2 %, not %3 %")
                .arg(channel)
                .arg(factor * 100)
                .arg(expected[channel] * 100);
        for (size_t i = 0; i < size; ++i) {
            const double plain = 65535.0 * double(i) / double(size - 1);
            if (std::abs(entries[i] - plain * factor) > 1)
                return QStringLiteral("channel %1 entry %2 is %3, not %4")
                    .arg(channel)
                    .arg(i)
                    .arg(entries[i])
                    .arg(plain * factor);
        }
    }
    return QString();
}

} // namespace

class HeadsetDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("umockdev"), "run under umockdev-wrapper");
        QVERIFY(desk.isValid());
        testbed.reset(new HeadsetTestbed);
        hands.reset(new UtilityWindow(desk.client()));
    }

    // The first display with a table of its own that is not the identity, which the shield must
    // leave alone; the headset's with the identity, as a display starts.
    void init() {
        QVERIFY(HeadsetDesk::run("xrandr", {"--output", "DUMMY0", "--gamma", "1:1:0.8"}));
        if (!desk.outputRect("DUMMY1").isEmpty())
            QVERIFY(HeadsetDesk::run("xrandr", {"--output", "DUMMY1", "--gamma", "1:1:1"}));
    }

    void cleanup() {
        testbed->clear();
        utility.reset();
        // The utility starts them detached: they are ended through their windows.
        std::vector<xcb_window_t> started = desk.client().findTopLevels("Lumeshow", QString());
        const std::vector<xcb_window_t> capturers =
            desk.client().findTopLevels("Pictor", QString());
        started.insert(started.end(), capturers.begin(), capturers.end());
        for (xcb_window_t window : started) {
            if (const qint64 pid = desk.client().processId(window))
                ::kill(pid_t(pid), SIGKILL);
        }
        QTRY_VERIFY(desk.client().findTopLevels("Lumeshow", QString()).empty() &&
                    desk.client().findTopLevels("Pictor", QString()).empty());
    }

    // Each row: what is on DUMMY1 with which table (as xrandr --gamma sets it), whether the
    // headset is on USB, what the person does, and then: the headset display's table warm (as
    // warm as after the first "Level 1") or its own, the warning the utility shows, and whether
    // the demo and one capturer run. A restart ends the utility, and with it the library, and
    // starts it again with the same settings.
    void clicks_data() {
        QTest::addColumn<HeadsetDesk::Dummy1>("dummy1");
        QTest::addColumn<QString>("headsetGamma");
        QTest::addColumn<bool>("onUsb");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<bool>("warm");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<bool>("demo");
        using D = HeadsetDesk::Dummy1;
        QTest::newRow("Level 1 warms the headset's display only")
            << D::Headset << "1:1:1" << true << QStringList{"Level 1"} << true << "" << false;
        QTest::newRow("DisableEyeshield gives both displays their own")
            << D::Headset << "1:1:1" << true << QStringList{"Level 1", "DisableEyeshield"} << false
            << "" << false;
        QTest::newRow("ShowDemo: the demo on the headset, mirrored, the shield again")
            << D::Headset << "1:1:1" << true << QStringList{"Level 1", "ShowDemo"} << true << ""
            << true;
        QTest::newRow("a second ShowDemo leaves one capturer")
            << D::Headset << "1:1:1" << true << QStringList{"ShowDemo", "ShowDemo"} << false << ""
            << true;
        // The driver gives the display a plain table when it comes back: the shield goes on again.
        QTest::newRow("the headset's display plugged again is warmed again")
            << D::Headset << "1:1:1" << true << QStringList{"Level 1", "plug again"} << true << ""
            << false;
        QTest::newRow("headset on USB, its display not on the desktop: silent")
            << D::NonDesktop << "1:1:1" << true << QStringList{"Level 1"} << false << "" << false;
        QTest::newRow("a monitor and no headset: the warning")
            << D::Monitor << "1:1:1" << false << QStringList{"Level 1"} << false
            << "enable eye shield fail" << false;
        QTest::newRow("calibrated, left warm: a new run's Level 1 warms it once, off gives it back")
            << D::Headset << "1.0:0.9:1.15" << true
            << QStringList{"Level 1", "restart", "Level 1", "restart", "DisableEyeshield"} << false
            << "" << false;
        QTest::newRow("calibrated, left warm: a new run's Level 1 warms it once")
            << D::Headset << "1.0:0.9:1.15" << true
            << QStringList{"Level 1", "restart", "Level 1", "restart", "Level 1"} << true << ""
            << false;
        QTest::newRow("DisableEyeshield while the headset's display is switched off holds")
            << D::Headset << "1.0:0.9:1.15" << true
            << QStringList{"Level 1", "switch off", "DisableEyeshield", "switch on"} << false << ""
            << false;
        QTest::newRow("DisableEyeshield while switched off holds across a restart")
            << D::Headset << "1.0:0.9:1.15" << true
            << QStringList{"Level 1", "restart", "switch off", "DisableEyeshield", "switch on"}
            << false << "" << false;
    }

    void clicks() {
        QFETCH(HeadsetDesk::Dummy1, dummy1);
        QFETCH(QString, headsetGamma);
        QFETCH(bool, onUsb);
        QFETCH(QStringList, clicks);
        QFETCH(bool, warm);
        QFETCH(QString, warning);
        QFETCH(bool, demo);
        QVERIFY(desk.setDummy1(dummy1));
        if (dummy1 != HeadsetDesk::Dummy1::NonDesktop)
            QVERIFY(HeadsetDesk::run("xrandr", {"--output", "DUMMY1", "--gamma", headsetGamma}));
        if (onUsb)
            testbed->plugUsb(0x28de, 0x2613);
        const HeadsetDesk::GammaTable first = desk.gamma("DUMMY0");
        const HeadsetDesk::GammaTable headset = desk.gamma("DUMMY1");
        const UtilityProcess::Session session = UtilityProcess::newSession();
        xcb_window_t window = startUtility(session);
        QVERIFY(window != XCB_WINDOW_NONE);

        HeadsetDesk::GammaTable warmedOnce;
        for (const QString &click : clicks) {
            if (click == "restart") {
                utility.reset();
                window = startUtility(session);
                QVERIFY(window != XCB_WINDOW_NONE);
            } else if (click == "switch off" || click == "switch on") {
                QVERIFY(desk.setDummy1(click == "switch on" ? dummy1 : HeadsetDesk::Dummy1::Off));
            } else if (click == "plug again")
                QVERIFY(HeadsetDesk::run("xrandr", {"--output", "DUMMY1", "--gamma", "1:1:1"}) &&
                        desk.setDummy1(HeadsetDesk::Dummy1::Off) && desk.setDummy1(dummy1));
            else if (click == "ShowDemo")
                QVERIFY(hands->press(window, "btnShowDemo"));
            else
                QVERIFY(hands->choose(window, click == "Level 1"
                                                  ? UtilityWindow::levelOne()
                                                  : UtilityWindow::disableEyeshield()));
            if (!warning.isEmpty()) {
                const xcb_window_t box = hands->waitForOne(warning);
                QVERIFY(box != XCB_WINDOW_NONE);
                QVERIFY(desk.client().sendDeleteWindow(box));
            }
            QTest::qWait(500);
            // The first warming, once the utility has put it on.
            if (click == "Level 1" && warmedOnce.blue.empty() &&
                dummy1 == HeadsetDesk::Dummy1::Headset) {
                QTRY_VERIFY_WITH_TIMEOUT(desk.gamma("DUMMY1").blue.back() < headset.blue.back(),
                                         10000);
                warmedOnce = desk.gamma("DUMMY1");
            }
        }
        QCOMPARE(int(hands->shown(QString()).size()), 1);

        QVERIFY(desk.gamma("DUMMY0") == first);
        const HeadsetDesk::GammaTable now = desk.gamma("DUMMY1");
        if (warm) {
            QVERIFY(!now.red.empty());
            QVERIFY2(now.blue.back() < now.red.back() && !warmedOnce.blue.empty() &&
                         std::abs(now.blue.back() - warmedOnce.blue.back()) <=
                             0.03 * warmedOnce.blue.back(),
                     qPrintable(QString("top: red %1, blue %2; one warming's blue %3")
                                    .arg(now.red.back())
                                    .arg(now.blue.back())
                                    .arg(warmedOnce.blue.empty() ? 0 : warmedOnce.blue.back())));
        } else {
            // A display switched on again gets its own table when the library hears of it.
            QTRY_VERIFY_WITH_TIMEOUT(desk.gamma("DUMMY1") == headset, 10000);
        }
        if (dummy1 == HeadsetDesk::Dummy1::Headset) {
            QProcess headsets;
            headsets.start(HLX_UDEV_LIBRARY_DIR "/hlx-headsets", QStringList());
            QVERIFY(headsets.waitForFinished(30000));
            const QByteArray said = headsets.readAllStandardOutput();
            QVERIFY2(said.contains(warm ? "\nEye shield: on, level 1 (4500 K)\n"
                                        : "\nEye shield: off\n"),
                     said.constData());
        }
        // The utility stores what the library took, an off while the display is away too.
        const QStringList switches =
            clicks.filter(QRegularExpression("^(Level 1|DisableEyeshield)$"));
        if (warning.isEmpty() && dummy1 == HeadsetDesk::Dummy1::Headset && !switches.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(
                QSettings(session.workingDirectory() + "/UserSetting.ini", QSettings::IniFormat)
                    .value("KEY_Eyeshield")
                    .toString(),
                QString(switches.last() == "Level 1" ? "EnableEyeshield" : "DisableEyeshield"),
                10000);
        if (demo)
            checkDemoAndMirror();
        else
            QCOMPARE(int(desk.capturerWindows().size()), 0);
        QVERIFY(utility->isRunning());
    }

    // What the device library does with the capturer itself, for callers other than the utility:
    // one per session, raised when asked to start again, closed when asked to stop.
    void capturerEntries() {
        QVERIFY(desk.setDummy1(HeadsetDesk::Dummy1::Headset));
        QLibrary library(HLX_UDEV_LIBRARY_DIR "/libHLX.so");
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        const auto setPath =
            reinterpret_cast<int (*)(const char *)>(library.resolve("HLX_SetDisplayCapturerPath"));
        const auto startCapturer =
            reinterpret_cast<int (*)()>(library.resolve("HLX_StartDisplayCapturer"));
        const auto stopCapturer =
            reinterpret_cast<int (*)()>(library.resolve("HLX_StopDisplayCapturer"));
        QVERIFY(setPath && startCapturer && stopCapturer);
        QCOMPARE(stopCapturer(), -2);
        QCOMPARE(setPath(HLX_HEADSET_COMPANIONS "/Pictor/Pictor.exe"), 0);
        QCOMPARE(startCapturer(), 0);
        const xcb_window_t capturer = desk.waitForCapturerWindow();
        QVERIFY(capturer != XCB_WINDOW_NONE);
        QVERIFY(desk.client().iconifyAsWindowManager(capturer));
        QTRY_VERIFY(!desk.client().isViewable(capturer));
        QCOMPARE(startCapturer(), 0);
        QTRY_VERIFY(desk.client().isViewable(capturer));
        QTest::qWait(500);
        QCOMPARE(int(desk.capturerWindows().size()), 1);
        QCOMPARE(stopCapturer(), 0);
        QTRY_VERIFY(desk.capturerWindows().empty());
    }

    // The real library asked directly, as the utility asks it, while the real demo built over
    // the libdrm stand-in holds the headset's display, which is kept off the desktop: each step's
    // answer, and the leased CRTC's table as the stand-in holds it. A choice made before the demo
    // takes the display reaches it, since the utility re-applies the stored choice right after it
    // starts the demo.
    void leasedDisplayShield_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("table");
        QTest::newRow("Level 1 while the demo holds the display")
            << QStringList{"demo", "Level 1"} << QList<int>{0} << "warm";
        QTest::newRow("DisableEyeshield while it holds it gives the plain table back")
            << QStringList{"demo", "Level 1", "DisableEyeshield"} << QList<int>{0, 0} << "plain";
        QTest::newRow("Level 1 before the demo takes the display")
            << QStringList{"Level 1", "demo"} << QList<int>{-3} << "warm";
        QTest::newRow("DisableEyeshield before the demo takes the display")
            << QStringList{"Level 1", "DisableEyeshield", "demo"} << QList<int>{-3, 0} << "plain";
        QTest::newRow("the demo gives the CRTC its own table before it lets go")
            << QStringList{"demo", "Level 1", "end demo"} << QList<int>{0} << "plain";
        QTest::newRow("no demo: Level 1 cannot reach the display")
            << QStringList{"Level 1"} << QList<int>{-3} << "";
        QTest::newRow("no demo: DisableEyeshield holds for a display away")
            << QStringList{"DisableEyeshield"} << QList<int>{0} << "";
        QTest::newRow("a CRTC without a colour table refuses Level 1")
            << QStringList{"no colour table", "demo", "Level 1"} << QList<int>{-1} << "";
    }

    void leasedDisplayShield() {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, answers);
        QFETCH(QString, table);
        QVERIFY(desk.setDummy1(HeadsetDesk::Dummy1::NonDesktop));
        testbed->plugUsb(0x28de, 0x2613);
        // The choice of an earlier row is not this one's.
        xcb_delete_property(desk.x().get(), desk.x().root(),
                            desk.x().atom("_HLX_DIRECT_EYESHIELD"));
        QVERIFY(desk.x().sync());
        const HeadsetDesk::GammaTable first = desk.gamma("DUMMY0");
        QLibrary library(HLX_UDEV_LIBRARY_DIR "/libHLX.so");
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        const auto enable = reinterpret_cast<int (*)(int)>(library.resolve("HLX_EnableEyeshield"));
        const auto disable = reinterpret_cast<int (*)()>(library.resolve("HLX_DisableEyeshield"));
        QVERIFY(enable && disable);

        LeasedDemo demo(desk.client());
        const std::vector<uint16_t> plain = hlx::GammaRamp::identity(256).channels();
        const std::vector<uint16_t> warm =
            hlx::Eyeshield::shielded(hlx::GammaRamp::identity(256), 4500).channels();
        bool holds = false;
        QList<int> answered;
        for (const QString &step : steps) {
            if (step == "no colour table") {
                qputenv("HLX_DRM_STANDIN_FAULT", "no-gamma");
            } else if (step == "demo") {
                QVERIFY(demo.start());
                holds = true;
                // Its first picture is on the display with the choice already made.
                QTRY_VERIFY_WITH_TIMEOUT(demo.log().contains("\nflip "), 30000);
            } else if (step == "end demo") {
                QVERIFY(demo.close());
                holds = false;
            } else {
                answered << (step == "Level 1" ? enable(1) : disable());
                // Answered once the CRTC shows it, so the table is there without a wait.
                if (holds && answered.last() == 0)
                    QVERIFY(demo.gamma() == (step == "Level 1" ? warm : plain));
            }
        }
        qunsetenv("HLX_DRM_STANDIN_FAULT");
        QCOMPARE(answered, answers);
        if (holds) {
            // hlx-headsets tells what the library answers the same choice now.
            const QString said = headsetsSay({});
            const int again =
                steps.filter(QRegularExpression("^(Level 1|DisableEyeshield)$")).last() == "Level 1"
                    ? enable(1)
                    : disable();
            QVERIFY2(said.contains(QStringLiteral("(the library answers %1)\n").arg(again)),
                     qPrintable(said));
        }
        const std::vector<uint16_t> now = demo.gamma();
        if (table == "warm") {
            const QString problem = warmProblem(now);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            QVERIFY(now == warm);
        } else if (table == "plain") {
            // The stand-in's CRTC starts with the plain table, as a display's does.
            QVERIFY2(now == plain, qPrintable(demo.log()));
        }
        if (steps.contains("end demo")) {
            const QString log = demo.log();
            QVERIFY2(log.lastIndexOf("\ngamma ") < log.indexOf("\nclose "), qPrintable(log));
        }
        // The desktop's monitor keeps its own table whatever happens to the headset's.
        QVERIFY(desk.gamma("DUMMY0") == first);
        if (holds)
            QVERIFY(demo.close());
    }

    // Each row: DUMMY2's headset display in direct mode with its EDID on the X output, or, as
    // Xwayland has it, only on the kernel's connector of the same name; or switched off; or no
    // headset display and the headset on USB, DUMMY1 a monitor in each. Then the headset's
    // display on DUMMY1 in direct mode, held by the real demo over the libdrm stand-in, and a
    // headset on the desktop beside another in direct mode.
    void directModeDesk_data() {
        QTest::addColumn<HeadsetDesk::Dummy1>("dummy1");
        QTest::addColumn<HeadsetDesk::Dummy1>("dummy2");
        // "OUTPUT:FILE": the output's EDID only on the kernel's connector of that name, as
        // Xwayland has it; without a file, no EDID and no connector of that name. An output other
        // than DUMMY1 and DUMMY2 is kept off the desktop.
        QTest::addColumn<QStringList>("kernelEdids");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("levelOne");       // what HLX_EnableEyeshield(1) answers
        QTest::addColumn<QString>("shielded");   // the output whose table that warms, if any
        QTest::addColumn<QStringList>("listed"); // by hlx-headsets
        QTest::addColumn<QString>("demoSays");   // empty: no demo started
        using D = HeadsetDesk::Dummy1;
        const QString offDesktop("Headset display: VLV 91a8, not on the desktop: the X server "
                                 "keeps DUMMY2 off the desktop for VR compositors");
        const QString directMode(
            "Direct mode: yes; the display is kept off the desktop for VR software");
        const QString notSet("Eye shield: the headset's display is not on the desktop, so its "
                             "colours cannot be set (the library answers -3)");
        // Told without a lease taken: a lease makes the output read disconnected meanwhile.
        const QStringList refused{offDesktop, directMode,
                                  "Direct mode lease: offered by the X server, and lent to no "
                                  "program now (not tried",
                                  notSet};
        const QString index("headsets/valve-index.hex");
        QTest::newRow("two monitors and a headset in direct mode")
            << D::Monitor << D::NonDesktop << QStringList() << false << -3 << "" << refused
            << "the display of VLV 91a8 cannot be shown on: the X server keeps DUMMY2 off";
        // Without the kernel's EDID no display would be the headset's.
        QTest::newRow("the same with the EDID only on the kernel's connector, as under Xwayland")
            << D::Monitor << D::NonDesktop << QStringList{"DUMMY2:" + index} << false << -3 << ""
            << refused
            << "the display of VLV 91a8 cannot be shown on: the X server keeps DUMMY2 off";
        // Connectors named alike, as DP-1 and DP-10: the monitor is not taken for the headset.
        // Which one a lookup meets first is the file system's order, so the second row leaves
        // DUMMY1 without a connector of its own, where only a name that starts alike matches.
        QTest::newRow("a monitor on DUMMY1 and a headset on DUMMY10, EDIDs only on the kernel's")
            << D::Monitor << D::Unplugged
            << QStringList{"DUMMY1:monitors/dell-e2219hn.hex", "DUMMY10:" + index} << false << -3
            << ""
            << QStringList{"X output DUMMY1: DEL 2009 no headset",
                           "Headset display: VLV 91a8, not on the desktop: the X server keeps "
                           "DUMMY10 off the desktop",
                           directMode, notSet}
            << "the display of VLV 91a8 cannot be shown on: the X server keeps DUMMY10 off";
        QTest::newRow("a monitor without an EDID on DUMMY1 and a headset on DUMMY10's connector")
            << D::Monitor << D::Unplugged << QStringList{"DUMMY1:", "DUMMY10:" + index} << false
            << -3 << ""
            << QStringList{"X output DUMMY1: no EDID",
                           "Headset display: VLV 91a8, not on the desktop: the X server keeps "
                           "DUMMY10 off the desktop",
                           directMode, notSet}
            << "the display of VLV 91a8 cannot be shown on: the X server keeps DUMMY10 off";
        // No "Direct mode" line: the display is the user's, merely switched off.
        QTest::newRow("two monitors and the headset's display switched off")
            << D::Monitor << D::Off << QStringList() << false << -3 << ""
            << QStringList{"Headset display: VLV 91a8, not on the desktop: DUMMY2 is connected "
                           "but switched off",
                           notSet}
            << "the display of VLV 91a8 cannot be shown on: DUMMY2 is connected but switched off";
        QTest::newRow("two monitors and the headset on USB only")
            << D::Monitor << D::Unplugged << QStringList() << false << -3 << ""
            << QStringList{"Headset display: none",
                           "Eye shield: the headset is on USB but its display is not on the "
                           "desktop, so its colours cannot be set (the library answers -3)"}
            << "the display of the Valve Index on USB cannot be shown on";
        QTest::newRow("the headset's display held by the demo in direct mode")
            << D::NonDesktop << D::Unplugged << QStringList() << true << 0 << ""
            << QStringList{directMode, "Direct mode lease: held by the demo, which shows on it",
                           "Eye shield: set through the demo that shows on the headset's display "
                           "(the library answers 0)"}
            << QString();
        QTest::newRow("a headset on the desktop and another in direct mode: the one on the desktop")
            << D::Headset << D::NonDesktop << QStringList() << false << 0 << "DUMMY1"
            << QStringList{"Headset display: VLV 91a8 on DUMMY1, 1920x1080 at 1024,0",
                           "Eye shield: on, level 1 (4500 K)"}
            << QString();
    }

    void directModeDesk() {
        QFETCH(HeadsetDesk::Dummy1, dummy1);
        QFETCH(HeadsetDesk::Dummy1, dummy2);
        QFETCH(QStringList, kernelEdids);
        QFETCH(bool, held);
        QFETCH(QString, shielded);
        QFETCH(QStringList, listed);
        QFETCH(QString, demoSays);
        QVERIFY(desk.setDummy1(dummy1));
        QVERIFY(desk.setDummy2(dummy2));
        const std::string card = kernelEdids.isEmpty() ? std::string() : testbed->addCard("card0");
        QStringList offDesktop;
        for (const QString &kernelEdid : kernelEdids) {
            const QString output = kernelEdid.section(':', 0, 0);
            if (output != "DUMMY1" && output != "DUMMY2") {
                QVERIFY(
                    HeadsetDesk::run("xrandr", {"--output", output, "--set", "non-desktop", "1"}));
                offDesktop << output;
            }
            QVERIFY(desk.removeEdid(qPrintable(output)));
            if (kernelEdid.endsWith(':'))
                continue;
            testbed->setConnector(testbed->addConnector(card, "card0-" + output.toStdString()),
                                  true,
                                  EdidSample::fromHexFile(
                                      HLX_EDID_DIR "/" + kernelEdid.section(':', 1).toStdString()));
        }
        testbed->plugUsb(0x28de, 0x2613);
        const char *outputs[] = {"DUMMY0", "DUMMY1", "DUMMY2"};
        std::vector<HeadsetDesk::GammaTable> before;
        for (const char *output : outputs)
            before.push_back(desk.gamma(output));
        LeasedDemo leased(desk.client());
        if (held)
            QVERIFY(leased.start());

        QLibrary library(HLX_UDEV_LIBRARY_DIR "/libHLX.so");
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        const auto enable = reinterpret_cast<int (*)(int)>(library.resolve("HLX_EnableEyeshield"));
        const auto disable = reinterpret_cast<int (*)()>(library.resolve("HLX_DisableEyeshield"));
        QVERIFY(enable && disable);
        QTEST(enable(1), "levelOne");

        QProcess headsets;
        headsets.start(HLX_UDEV_LIBRARY_DIR "/hlx-headsets", QStringList());
        QVERIFY(headsets.waitForFinished(30000));
        const QString said = QString::fromUtf8(headsets.readAllStandardOutput());
        for (const QString &line : listed)
            QVERIFY2(said.contains("\n" + line), qPrintable(line + " in\n" + said));
        QCOMPARE(said.contains("\nDirect mode"), listed.filter("Direct mode").size() > 0);

        if (!demoSays.isEmpty()) {
            // As the utility starts it.
            QProcess demo;
            demo.start(HLX_HEADSET_COMPANIONS "/demo/Lumeshow.exe",
                       {"-screen-fullscreen", "1", "-screen-height", "1080", "-screen-width",
                        "1920", "-adapter", "1"});
            xcb_window_t window = XCB_WINDOW_NONE;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    for (xcb_window_t shown : desk.client().findTopLevels("Lumeshow", QString()))
                        window = desk.client().isViewable(shown) ? shown : window;
                    return window != XCB_WINDOW_NONE;
                },
                10000));
            // On the primary, and none of the user's monitors taken over.
            const QRect primary = desk.outputRect("DUMMY0");
            const QRect shown = desk.client().rootGeometry(window);
            QVERIFY2(primary.contains(shown) && shown.width() <= primary.width() * 2 / 3 &&
                         shown.height() <= primary.height() * 2 / 3,
                     qPrintable(QStringLiteral("%1,%2 %3x%4")
                                    .arg(shown.x())
                                    .arg(shown.y())
                                    .arg(shown.width())
                                    .arg(shown.height())));
            // The device side's messages reach every top-level window, the demo's too, which
            // takes them in without a word.
            const auto init = reinterpret_cast<int (*)()>(library.resolve("HLX_Init"));
            const auto deinit = reinterpret_cast<int (*)()>(library.resolve("HLX_Deinit"));
            QVERIFY(init && deinit);
            QProcess capturer;
            capturer.start(HLX_HEADSET_COMPANIONS "/Pictor/Pictor.exe", QStringList());
            const xcb_window_t mirror = desk.waitForCapturerWindow();
            QVERIFY(mirror != XCB_WINDOW_NONE);
            DeviceMessageWindow listener;
            QCOMPARE(init(), 0);
            // Its first announcement tells both links.
            QByteArrayList received;
            QTRY_VERIFY_WITH_TIMEOUT((received += listener.take()).size() >= 2, 10000);
            QCOMPARE(deinit(), 0);
            QTest::qWait(500);
            demo.kill();
            QVERIFY(demo.waitForFinished(10000));
            const QString demoSaid = QString::fromLocal8Bit(demo.readAllStandardError());
            QVERIFY2(demoSaid.contains("Lumeshow: " + demoSays), qPrintable(demoSaid));
            QVERIFY2(!demoSaid.contains("Unhandled client message"), qPrintable(demoSaid));
            QVERIFY(desk.closeCapturer(capturer, mirror));
            const QString capturerSaid = QString::fromLocal8Bit(capturer.readAllStandardError());
            QVERIFY2(!capturerSaid.contains("Unhandled client message"), qPrintable(capturerSaid));
        }

        // Time for anything the library might have started behind its answer.
        QTest::qWait(500);
        for (size_t i = 0; i < before.size(); ++i) {
            if (shielded == outputs[i]) {
                const HeadsetDesk::GammaTable warmed = desk.gamma(outputs[i]);
                QVERIFY2(!warmed.red.empty() && warmed.blue.back() < warmed.red.back(), outputs[i]);
                // And off gives it its own table back.
                QCOMPARE(disable(), 0);
            }
            QVERIFY2(desk.gamma(outputs[i]) == before[i], outputs[i]);
        }
        if (held)
            QVERIFY(leased.close());
        for (const QString &output : offDesktop)
            QVERIFY(HeadsetDesk::run("xrandr", {"--output", output, "--set", "non-desktop", "0"}));
        QVERIFY(desk.setDummy2(HeadsetDesk::Dummy1::Unplugged));
    }

    // Xwayland under sway names its outputs itself (XWAYLAND2) and gives the kernel's connector
    // only by its DRM id, without an EDID: DUMMY2 so, the kernel's connector card0-Virtual-1 with
    // id 34 in sysfs. Each row: DUMMY2's CONNECTOR_ID, the bytes of the headset's EDID the
    // connector has (-1: all), what hlx-headsets says, and what it says with --try-lease.
    void kernelConnectorIds_data() {
        QTest::addColumn<uint>("connectorId");
        QTest::addColumn<int>("edidBytes");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("tried");
        const QString none("Headset display: none");
        QTest::newRow("the headset's display found by its connector's id")
            << 34u << -1
            << "Headset display: VLV 91a8, not on the desktop: the X server keeps DUMMY2 off"
            << "Direct mode lease: refused: the X server refused to lease DUMMY2 (error";
        QTest::newRow("an id that no connector has")
            << 99u << -1
            << "X output DUMMY2: its CONNECTOR_ID 99 names none of the kernel's connectors" << none;
        const QString at(", read at the kernel's connector card0-Virtual-1 (CONNECTOR_ID 34)\n");
        QTest::newRow("an empty EDID on the connector")
            << 34u << 0 << "X output DUMMY2: no EDID" + at << none;
        QTest::newRow("an EDID cut short on the connector")
            << 34u << 100 << "X output DUMMY2: EDID cut short or corrupted" + at << none;
    }

    void kernelConnectorIds() {
        QFETCH(uint, connectorId);
        QFETCH(int, edidBytes);
        QFETCH(QString, listed);
        QFETCH(QString, tried);
        QVERIFY(desk.setDummy1(HeadsetDesk::Dummy1::Monitor));
        QVERIFY(desk.setDummy2(HeadsetDesk::Dummy1::NonDesktop));
        QVERIFY(desk.removeEdid("DUMMY2"));
        QVERIFY(desk.setConnectorId("DUMMY2", connectorId));
        const std::string connector =
            testbed->addConnector(testbed->addCard("card0"), "card0-Virtual-1");
        testbed->setConnectorId(connector, 34);
        std::vector<uint8_t> edid =
            EdidSample::fromHexFile(HLX_EDID_DIR "/headsets/valve-index.hex");
        if (edidBytes >= 0)
            edid.resize(size_t(edidBytes));
        testbed->setConnector(connector, true, edid);
        const QString said = headsetsSay({});
        const QString triedSaid = headsetsSay({"--try-lease"});
        QVERIFY(desk.setConnectorId("DUMMY2", 0));
        QVERIFY(HeadsetDesk::run("xrandr", {"--output", "DUMMY2", "--set", "non-desktop", "0"}));
        QVERIFY(desk.setDummy2(HeadsetDesk::Dummy1::Unplugged));
        QVERIFY2(said.contains("\n" + listed), qPrintable(said));
        QVERIFY2(triedSaid.contains("\n" + tried), qPrintable(triedSaid));
    }

private:
    // What hlx-headsets prints.
    static QString headsetsSay(const QStringList &arguments) {
        QProcess headsets;
        headsets.start(HLX_UDEV_LIBRARY_DIR "/hlx-headsets", arguments);
        if (!headsets.waitForFinished(30000))
            return QStringLiteral("(hlx-headsets did not end)");
        return QString::fromUtf8(headsets.readAllStandardOutput());
    }

    xcb_window_t startUtility(const UtilityProcess::Session &session) {
        utility.reset(new UtilityProcess(session));
        // The demo and the capturer of the default install beside the working folder.
        const QDir home(session.workingDirectory() + "/..");
        for (const QString companion : {"demo", "Pictor"}) {
            QFile::remove(home.filePath(companion));
            if (!QFile::link(QStringLiteral(HLX_HEADSET_COMPANIONS "/") + companion,
                             home.filePath(companion)))
                return XCB_WINDOW_NONE;
        }
        utility->setEnvironment("LD_LIBRARY_PATH", HLX_UDEV_LIBRARY_DIR);
        utility->start();
        const xcb_window_t window = utility->waitForShownWindow(desk.client());
        // The library is loaded at the first event after the window shows.
        QTest::qWait(500);
        return window;
    }

    void checkDemoAndMirror() {
        const QRect headsetRect = desk.outputRect("DUMMY1");
        std::vector<xcb_window_t> demos;
        // The utility starts the demo at every ShowDemo, as it always has; each covers the headset.
        QVERIFY(QTest::qWaitFor(
            [&] {
                demos = desk.client().findTopLevels("Lumeshow", QString());
                return !demos.empty() && std::all_of(demos.begin(), demos.end(), [&](auto demo) {
                    return desk.client().rootGeometry(demo) == headsetRect;
                });
            },
            kShownWithinMs));
        // The library starts the capturer beside the demo, and it maps its window in its own time:
        // one window, not none and not several.
        const xcb_window_t capturer = desk.waitForCapturerWindow();
        QVERIFY(capturer != XCB_WINDOW_NONE);
        const QRect mirrorFrame = desk.client().rootGeometry(capturer);
        QVERIFY(!mirrorFrame.intersects(headsetRect));
        QVERIFY(desk.outputRect("DUMMY0").contains(mirrorFrame));

        QString problem;
        const bool stereo = QTest::qWaitFor(
            [&] {
                problem = HeadsetDesk::stereoProblem(desk.grab(headsetRect));
                return problem.isEmpty();
            },
            kShownWithinMs);
        QVERIFY2(stereo, qPrintable(problem));

        // The scene moves slowly: the mirror shows what the headset shows, give or take a frame.
        double apart = 255;
        const bool mirrored = QTest::qWaitFor(
            [&] {
                const QImage shown = desk.grab(headsetRect);
                const QImage mirror = desk.grab(letterboxed(headsetRect.size(), mirrorFrame));
                apart = pictureDifference(shown, mirror);
                return apart < 6;
            },
            kShownWithinMs);
        QVERIFY2(mirrored, qPrintable(QString("the mirror is %1 apart").arg(apart)));
    }

    HeadsetDesk desk;
    QScopedPointer<HeadsetTestbed> testbed;
    QScopedPointer<UtilityWindow> hands;
    QScopedPointer<UtilityProcess> utility;
};

QTEST_MAIN(HeadsetDesktopTest)
#include "tst_headsetdesktop.moc"
