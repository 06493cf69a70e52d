#include "CompanionRecords.h"
#include "ScreenReader.h"
#include "TrayHost.h"
#include "UtilityProcess.h"
#include "UtilityWindow.h"
#include "X11Client.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <X11/keysym.h>

#include <csignal>

// One session with the built utility as a person has it: installed beside the stand-in demo
// and screen capturer, with the stand-in device library and the simulated headset plugged
// and unplugged by the stand-in device side, a tray on the display, and every click and key
// going through the X server. What the window shows is read as a screen reader reads it.
class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(reader.start(), qPrintable(reader.errorString()));
        // Before the tray exists, so the measuring window's icon never docks in it.
        hands.reset(new UtilityWindow(x));
        QVERIFY(tray.start());
        QVERIFY(scratch.isValid());
        install = scratch.filePath("HLX Utility");
        workDir = install + "/bin";
        QVERIFY(QDir().mkpath(workDir));
        QVERIFY(QDir().mkpath(install + "/demo"));
        QVERIFY(QDir().mkpath(install + "/Pictor"));
        QVERIFY(QFile::link(HLX_DEMO_PATH, install + "/demo/Lumeshow.exe"));
        QVERIFY(QFile::link(HLX_CAPTURER_PATH, install + "/Pictor/Pictor.exe"));
        QVERIFY(device({"unplug"}));
    }

    void aSessionFromStartToClose() {
        CompanionRecords companions(scratch.filePath("companions.jsonl"));
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess utility(session);
        // The stand-in library beside the program, as it ships.
        utility.setEnvironment("LD_LIBRARY_PATH", QString());
        utility.setEnvironment("HLX_COMPANION_RECORD", companions.file());
        utility.setWorkingDirectory(workDir);
        utility.start();
        const xcb_window_t window = utility.waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(tray.waitForIcon(5000));
        QVERIFY2(reader.waitForWindowLabel("No VR HMD"), qPrintable(status()));
        // Drawn by the raster engine alone: no OpenGL driver was loaded to show it.
        const QStringList openGl = mappedOpenGlObjects(utility.pid());
        QVERIFY2(openGl.isEmpty(), qPrintable(openGl.join(", ")));
        // The window and its tray icon.
        const int usualWindows = int(hands->shown(QString()).size());

        // The headset comes: both links, in green, with the logo.
        QVERIFY(device({"plug"}));
        QVERIFY2(reader.waitForWindowLabel("both HDMI and USB are ready"), qPrintable(status()));

        // The demo: the library starts the capturer, then the demo starts; nothing stored
        // yet, so the eye shield is switched off, which the headset accepts.
        QVERIFY(hands->press(window, "btnShowDemo"));
        QVERIFY(companions.waitForStarts("Pictor", 1));
        QVERIFY(companions.waitForStarts("Lumeshow", 1));
        const QJsonObject capturer = companions.starts("Pictor").front();
        QCOMPARE(capturer.value("path").toString(), workDir + "/../Pictor/Pictor.exe");
        QCOMPARE(capturer.value("arguments").toVariant().toStringList(), QStringList());
        const QJsonObject demo = companions.starts("Lumeshow").front();
        QCOMPARE(demo.value("path").toString(), workDir + "/../demo/Lumeshow.exe");
        QCOMPARE(demo.value("arguments").toVariant().toStringList(),
                 CompanionRecords::demoArguments());
        QCOMPARE(demo.value("workingDirectory").toString(), workDir);
        // The user's environment, not the choices the utility made for its own start.
        for (const QJsonObject &companion : {capturer, demo}) {
            const QList<QByteArray> environment = environmentOf(companion.value("pid").toInt());
            QVERIFY(environment.contains("HLX_COMPANION_RECORD=" + companions.file().toUtf8()));
            for (const QByteArray &variable : environment)
                QVERIFY2(!variable.startsWith("QT_XCB_GL_INTEGRATION="), variable.constData());
        }
        QVERIFY(waitForSetting("KEY_Eyeshield", "DisableEyeshield"));

        // Eye shield on from the menu; shown again, the demo brings the choice back.
        QVERIFY(hands->choose(window, UtilityWindow::levelOne()));
        QVERIFY(waitForSetting("KEY_Eyeshield", "EnableEyeshield"));

        // Without the USB link the headset refuses: switching off changes nothing and says
        // nothing, switching on warns.
        QVERIFY(device({"hid-removed"}));
        QVERIFY2(reader.waitForWindowLabel("HDMI is ready and USB is not ready"),
                 qPrintable(status()));
        QVERIFY(hands->choose(window, UtilityWindow::disableEyeshield()));
        QTest::qWait(300);
        QCOMPARE(int(hands->shown(QString()).size()), usualWindows);
        QVERIFY(hands->choose(window, UtilityWindow::levelOne()));
        const xcb_window_t warning = hands->waitForOne("enable eye shield fail");
        QVERIFY(warning != XCB_WINDOW_NONE);
        QCOMPARE(reader.boxTexts("enable eye shield fail"), QStringList{"can not find Vornel HMD"});
        // The display still follows the device while the box waits.
        QVERIFY(device({"hid-added"}));
        QVERIFY2(reader.waitForWindowLabel("both HDMI and USB are ready"), qPrintable(status()));
        QVERIFY(x.pressKey(XK_Return));
        QVERIFY(QTest::qWaitFor([&] { return hands->shown("enable eye shield fail").empty(); }));
        QCOMPARE(setting("KEY_Eyeshield"), QVariant("EnableEyeshield"));

        // To the tray; a second start leaves the hidden window hidden and ends at once.
        QVERIFY(UtilityProcess::closeToTray(x, window));
        QVERIFY(x.startWatchingRoot());
        UtilityProcess second(session);
        second.setWorkingDirectory(workDir);
        second.start();
        QVERIFY(second.waitForExit(5000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTest::qWait(300);
        QCOMPARE(x.countMappedWindows(), 0);
        QVERIFY(!x.isViewable(window));
        QVERIFY(utility.isRunning());

        // Back from the tray, still following the device, and ended with "Close".
        QVERIFY(x.doubleClick(tray.iconCentre()));
        QVERIFY(QTest::qWaitFor([&] { return x.isViewable(window); }, 5000));
        QVERIFY(device({"monitor-removed"}));
        QVERIFY2(reader.waitForWindowLabel("HDMI is not ready and USB is ready"),
                 qPrintable(status()));
        QVERIFY(hands->press(window, "btnClose"));
        QVERIFY(utility.waitForExit(5000));
        QCOMPARE(utility.exitStatus(), QProcess::NormalExit);
        QCOMPARE(utility.exitCode(), 0);

        // The settings file holds the two paths and the last choice that the headset took.
        QSettings settings(workDir + "/UserSetting.ini", QSettings::IniFormat);
        QCOMPARE(settings.allKeys().size(), 3);
        QCOMPARE(settings.value("target_path_Pictor"), QVariant(workDir + "/../Pictor/Pictor.exe"));
        QCOMPARE(settings.value("target_path_Demo"), QVariant(workDir + "/../demo/Lumeshow.exe"));
        QCOMPARE(settings.value("KEY_Eyeshield"), QVariant("EnableEyeshield"));
        // Each companion started once, and both outlive the utility.
        QCOMPARE(companions.starts("Pictor").size(), 1);
        QCOMPARE(companions.starts("Lumeshow").size(), 1);
        QVERIFY(::kill(static_cast<pid_t>(demo.value("pid").toInt()), 0) == 0);
        QVERIFY(::kill(static_cast<pid_t>(capturer.value("pid").toInt()), 0) == 0);

        // They hold nothing of the utility's: the next start, while they still run, is a
        // first instance again.
        UtilityProcess next(session);
        next.setWorkingDirectory(workDir);
        next.start();
        const xcb_window_t again = next.waitForShownWindow(x);
        QVERIFY(again != XCB_WINDOW_NONE);
        QVERIFY(hands->press(again, "btnClose"));
        QVERIFY(next.waitForExit(5000));
        QCOMPARE(next.exitCode(), 0);
        QVERIFY(device({"unplug"}));
    }

private:
    static bool device(const QStringList &commands) {
        return QProcess::execute(QStringLiteral(HLX_BIN_DIR "/hlx-device"), commands) == 0;
    }

    static QList<QByteArray> environmentOf(int pid) {
        QFile file(QString("/proc/%1/environ").arg(pid));
        return file.open(QIODevice::ReadOnly) ? file.readAll().split('\0') : QList<QByteArray>();
    }

    static QStringList mappedOpenGlObjects(qint64 pid) {
        QFile maps(QString("/proc/%1/maps").arg(pid));
        if (!maps.open(QIODevice::ReadOnly))
            return {maps.errorString()};
        QStringList found;
        for (const QByteArray &line : maps.readAll().split('\n')) {
            const QByteArray path = line.mid(line.indexOf('/'));
            // The vendor libraries and the drivers; Qt itself links the dispatch libraries.
            if (path.contains("/libGLX_") || path.contains("/libEGL_") || path.contains("/dri/"))
                found << QString::fromUtf8(path);
        }
        found.removeDuplicates();
        return found;
    }

    QString status() { return reader.windowLabels().join(" | "); }

    QVariant setting(const QString &key) const {
        return QSettings(workDir + "/UserSetting.ini", QSettings::IniFormat).value(key);
    }
    bool waitForSetting(const QString &key, const QString &value) const {
        return QTest::qWaitFor([&] { return setting(key) == QVariant(value); }, 5000);
    }

    ScreenReader reader;
    testsupport::TrayHost tray;
    testsupport::X11Client x;
    QScopedPointer<UtilityWindow> hands;
    QTemporaryDir scratch;
    QString install;
    QString workDir;
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
