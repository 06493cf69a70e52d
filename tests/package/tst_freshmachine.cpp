#include "ProgramRun.h"
#include "UtilityWindow.h"
#include "X11Client.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QString kScript = QStringLiteral(HLX_SOURCE_DIR "/tests/package/fresh-machine.sh");
const QString kUserFolder = QStringLiteral("/home/tester/.local/share/hlx-config");

} // namespace

// The packages as a new user gets them: built by CPack, installed with apt into a minimal
// Debian 12 with nothing else, started from the menu entry, used, started again, removed.
class FreshMachineTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(scratch.isValid());
        root = scratch.filePath("root");
        const QDir packages(scratch.filePath("packages"));
        QVERIFY(packages.mkpath("."));
        QVERIFY(programSucceeds("cpack", {"--config", HLX_CPACK_CONFIG, "-B", packages.path()},
                                120000));
        const QStringList names = packages.entryList({"*.deb"}, QDir::Files);
        QCOMPARE(names, QStringList({"hlx-config-simulator_" HLX_VERSION "_amd64.deb",
                                     "hlx-config_" HLX_VERSION "_amd64.deb"}));
        for (const QString &name : names)
            debs << packages.filePath(name);
    }

    void packagesPassDebiansChecker() {
        QString report;
        const bool clean = programSucceeds(
            "lintian", QStringList{"--fail-on", "error,warning"} + debs, 300000, &report);
        QVERIFY2(clean && !report.contains(
                              QRegularExpression("^[EW]: ", QRegularExpression::MultilineOption)),
                 qPrintable(report));
    }

    void installsOnAFreshDebian() {
        if (geteuid() != 0)
            QSKIP("mounting and entering a chroot needs root");
        QElapsedTimer clock;
        clock.start();
        // Torn down even when preparing stops half-way, with things mounted.
        prepared = true;
        QVERIFY(programSucceeds(kScript, QStringList{"prepare", root} + debs, 900000));
        qInfo("packages installed in %lld s", clock.elapsed() / 1000);

        QString listing;
        QVERIFY(programSucceeds(kScript,
                                {"root", root, "dpkg", "-L", "hlx-config", "hlx-config-simulator"},
                                30000, &listing));
        installedFiles = listing.split('\n', Qt::SkipEmptyParts);
    }

    void cleanupTestCase() {
        if (prepared)
            QVERIFY(programSucceeds(kScript, {"teardown", root}, 60000));
    }

    void installedWithTheSimulatorAsDeviceLibrary() {
        if (installedFiles.isEmpty())
            QSKIP("not installed");
        QVERIFY(installedFiles.contains("/usr/bin/hlx-config"));
        QVERIFY(installedFiles.contains("/usr/lib/hlx-config/bin/hlx-config"));
        QVERIFY(installedFiles.contains("/etc/xdg/autostart/hlx-config.desktop"));
        QVERIFY(installedFiles.contains("/usr/share/icons/hicolor/48x48/apps/hlx-config.png"));
        QCOMPARE(QFile::symLinkTarget(root + "/usr/lib/hlx-config/bin/libHLX.so"),
                 QString("/etc/alternatives/hlx-config-device-library"));
        QCOMPARE(QFile::symLinkTarget(root + "/etc/alternatives/hlx-config-device-library"),
                 QString("/usr/lib/hlx-config/device/simulator/libHLX.so"));
    }

    void menuEntryShowsTheWindowAndTheSettingSurvivesARestart() {
        if (installedFiles.isEmpty())
            QSKIP("not installed");
        const QStringList exec = menuExec();
        QCOMPARE(exec, QStringList({"hlx-config"}));
        UtilityWindow hands(x);
        {
            QProcess utility;
            const xcb_window_t window = startAsTester(utility, exec);
            QVERIFY(window != XCB_WINDOW_NONE);
            QVERIFY(programSucceeds(kScript, {"run", root, "hlx-device", "plug"}, 10000));
            QVERIFY(hands.choose(window, UtilityWindow::levelOne()));
            QTRY_COMPARE_WITH_TIMEOUT(userSetting("KEY_Eyeshield"), QString("EnableEyeshield"),
                                      10000);
            QVERIFY(hands.press(window, "btnClose"));
            QVERIFY(utility.waitForFinished(10000));
            QCOMPARE(utility.exitCode(), 0);
        }
        {
            QProcess utility;
            const xcb_window_t window = startAsTester(utility, exec);
            QVERIFY(window != XCB_WINDOW_NONE);
            QCOMPARE(userSetting("KEY_Eyeshield"), QString("EnableEyeshield"));
            // The demo is found from the user's folder through the installed companions.
            QVERIFY(hands.press(window, "btnShowDemo"));
            // The capturer starts before the demo, but its window may show second: a Close pressed
            // before both were shown and closed would land on the later one.
            QTRY_VERIFY_WITH_TIMEOUT(shown("Lumeshow") && shown("Pictor"), 10000);
            QCOMPARE(userSetting("target_path_Demo"), kUserFolder + "/bin/../demo/Lumeshow.exe");
            QCOMPARE(userSetting("KEY_Eyeshield"), QString("EnableEyeshield"));
            // Without a headset the demo and the capturer open on this one display, over the
            // utility's window: closed as a person closes them.
            for (const QByteArray program : {"Lumeshow", "Pictor"}) {
                for (xcb_window_t companion : x.findTopLevels(program, QString()))
                    x.sendDeleteWindow(companion);
            }
            QTRY_VERIFY(x.findTopLevels("Lumeshow", QString()).empty() &&
                        x.findTopLevels("Pictor", QString()).empty());
            QVERIFY(hands.press(window, "btnClose"));
            QVERIFY(utility.waitForFinished(10000));
            QCOMPARE(utility.exitCode(), 0);
        }
    }

    // Debian keeps a removed package's conffiles until the purge: the login entry stays, and
    // must then start nothing.
    void removalLeavesNoInstalledFile() {
        if (installedFiles.isEmpty())
            QSKIP("not installed");
        const QString autostart = "/etc/xdg/autostart/hlx-config.desktop";
        QVERIFY(programSucceeds(
            kScript,
            {"root", root, "apt-get", "remove", "-y", "-q", "hlx-config", "hlx-config-simulator"},
            120000));
        QCOMPARE(leftOf(installedFiles), QStringList{autostart});
        QFile entry(root + autostart);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains("\nTryExec=hlx-config\n"));
        QVERIFY(
            !programSucceeds(kScript, {"run", root, "sh", "-c", "command -v hlx-config"}, 10000));

        QVERIFY(programSucceeds(kScript, {"root", root, "dpkg", "--purge", "hlx-config"}, 60000));
        QCOMPARE(leftOf(installedFiles), QStringList());
        QVERIFY(!QFileInfo::exists(root + "/usr/lib/hlx-config"));
        QVERIFY(!QFileInfo(root + "/etc/alternatives/hlx-config-device-library").isSymLink());
        // What the user made is theirs and stays.
        QVERIFY(QFileInfo::exists(root + kUserFolder + "/bin/UserSetting.ini"));
    }

private:
    QStringList leftOf(const QStringList &paths) const {
        QStringList left;
        for (const QString &path : paths) {
            const QFileInfo entry(root + path);
            if ((entry.exists() || entry.isSymLink()) && !entry.isDir())
                left << path;
        }
        return left;
    }

    // The Exec line of the installed menu entry, its field codes left out.
    QStringList menuExec() {
        QFile entry(root + "/usr/share/applications/hlx-config.desktop");
        if (!entry.open(QIODevice::ReadOnly))
            return {};
        const QRegularExpressionMatch exec =
            QRegularExpression("^Exec=(.*)$", QRegularExpression::MultilineOption)
                .match(QString::fromUtf8(entry.readAll()));
        QStringList words = exec.captured(1).split(' ', Qt::SkipEmptyParts);
        words.erase(std::remove_if(words.begin(), words.end(),
                                   [](const QString &word) { return word.startsWith('%'); }),
                    words.end());
        return words;
    }

    xcb_window_t startAsTester(QProcess &utility, const QStringList &command) {
        utility.setProcessChannelMode(QProcess::ForwardedChannels);
        utility.start(kScript, QStringList{"run", root} + command);
        if (!utility.waitForStarted(5000))
            return XCB_WINDOW_NONE;
        xcb_window_t window = XCB_WINDOW_NONE;
        const bool settled = QTest::qWaitFor(
            [&] {
                for (xcb_window_t candidate :
                     x.findTopLevels("hlx-config", "HLX_Configuration_Utility")) {
                    if (x.isViewable(candidate))
                        window = candidate;
                }
                return window != XCB_WINDOW_NONE || utility.state() == QProcess::NotRunning;
            },
            30000);
        return settled ? window : xcb_window_t(XCB_WINDOW_NONE);
    }

    // The real demo or capturer, without a headset display in a window on the first display.
    bool shown(const QByteArray &program) {
        for (xcb_window_t window : x.findTopLevels(program, QString())) {
            if (x.isViewable(window))
                return true;
        }
        return false;
    }

    QString userSetting(const QString &key) const {
        return QSettings(root + kUserFolder + "/bin/UserSetting.ini", QSettings::IniFormat)
            .value(key)
            .toString();
    }

    QTemporaryDir scratch;
    QString root;
    QStringList debs;
    bool prepared = false;
    QStringList installedFiles;
    testsupport::X11Client x;
};

QTEST_MAIN(FreshMachineTest)
#include "tst_freshmachine.moc"
