#include "TrayHost.h"
#include "UtilityProcess.h"
#include "X11Client.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The utility as the packages install it, started through the launcher on the PATH: from
// a folder that is not its own, the way a menu, a login or a shell start it. The tree is
// installed by the build's own install rules into a folder with blanks in its name.
class InstalledLauncherTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(scratch.isValid());
        root = scratch.filePath("installed tree");
        for (const char *component : {"main", "simulator"}) {
            QProcess install;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("DESTDIR", root);
            install.setProcessEnvironment(environment);
            install.start("cmake", {"--install", HLX_BUILD_DIR, "--prefix", "/usr", "--component",
                                    component});
            QVERIFY(install.waitForFinished(60000));
            QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        }
        launcher = root + "/usr/bin/hlx-config";
        installed = root + "/usr/lib/hlx-config";
        QVERIFY(QFileInfo(launcher).isExecutable());
        before = listing(root);
    }

    void startMakesTheUsersFolder_data() {
        QTest::addColumn<QString>("dataHome");
        QTest::addColumn<QString>("expectedHome");
        QTest::newRow("XDG_DATA_HOME unset") << QString() << "home of tester/.local/share";
        QTest::newRow("XDG_DATA_HOME set") << "data home"
                                           << "data home";
        // XDG base directory rules ignore a relative path.
        QTest::newRow("XDG_DATA_HOME relative") << "relative/data"
                                                << "home of tester/.local/share";
    }

    void startMakesTheUsersFolder() {
        QFETCH(QString, dataHome);
        QFETCH(QString, expectedHome);
        const QTemporaryDir user;
        const bool relative = dataHome.startsWith("relative");
        UtilityProcess utility(UtilityProcess::newSession());
        asUser(utility, user, relative || dataHome.isEmpty() ? dataHome : user.filePath(dataHome));
        const QString work = user.filePath(expectedHome) + "/hlx-config";

        utility.start({}, launcher);
        QVERIFY(utility.waitForShownWindow(x) != XCB_WINDOW_NONE);
        QCOMPARE(QFileInfo(QString("/proc/%1/cwd").arg(utility.pid())).symLinkTarget(),
                 work + "/bin");
        QCOMPARE(QFileInfo(work + "/demo").symLinkTarget(), installed + "/demo");
        QCOMPARE(QFileInfo(work + "/Pictor").symLinkTarget(), installed + "/Pictor");
        // The device library hands over the capturer it found from the user's folder.
        QTRY_COMPARE(setting(work, "target_path_Pictor").toString(),
                     work + "/bin/../Pictor/Pictor.exe");
        QVERIFY(QFileInfo(work + "/bin/../Pictor/Pictor.exe").isExecutable());
    }

    void laterStartsKeepTheSettingsAndTheUsersOwnFolders() {
        const QTemporaryDir user;
        const QString work = user.filePath("home of tester/.local/share/hlx-config");
        {
            UtilityProcess first(UtilityProcess::newSession());
            asUser(first, user);
            first.start({}, launcher);
            QVERIFY(first.waitForShownWindow(x) != XCB_WINDOW_NONE);
        }
        QSettings(work + "/bin/UserSetting.ini", QSettings::IniFormat)
            .setValue("KEY_Eyeshield", "EnableEyeshield");
        QVERIFY(QFile::remove(work + "/Pictor"));
        QVERIFY(QDir().mkpath(work + "/Pictor"));

        UtilityProcess later(UtilityProcess::newSession());
        asUser(later, user);
        later.start({}, launcher);
        QVERIFY(later.waitForShownWindow(x) != XCB_WINDOW_NONE);
        QTRY_VERIFY(setting(work, "target_path_Pictor").isValid());
        QCOMPARE(setting(work, "KEY_Eyeshield").toString(), QString("EnableEyeshield"));
        QCOMPARE(QFileInfo(work + "/demo").symLinkTarget(), installed + "/demo");
        QVERIFY(QFileInfo(work + "/Pictor").isDir() && !QFileInfo(work + "/Pictor").isSymLink());
    }

    // The launcher hands its arguments on: the login entry's option reaches the utility.
    void autostartOptionReachesTheUtility() {
        testsupport::TrayHost tray;
        QVERIFY(tray.start());
        const QTemporaryDir user;
        UtilityProcess utility(UtilityProcess::newSession());
        asUser(utility, user);
        utility.start({"--autostart"}, launcher);
        const xcb_window_t window = utility.waitForWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(tray.waitForIcon(5000));
        QVERIFY(!x.isViewable(window));
    }

    void nothingIsWrittenWhereItIsInstalled() { QCOMPARE(listing(root), before); }

private:
    // A user of the installed packages, with a home of their own, starting from /.
    void asUser(UtilityProcess &utility, const QTemporaryDir &user,
                const QString &dataHome = QString()) const {
        QDir().mkpath(user.filePath("home of tester"));
        utility.setEnvironment("HOME", user.filePath("home of tester"));
        utility.setEnvironment("XDG_DATA_HOME", dataHome);
        // What the simulator package's alternatives link gives the installed utility.
        utility.setEnvironment("LD_LIBRARY_PATH", installed + "/device/simulator");
        utility.setWorkingDirectory("/");
    }

    static QVariant setting(const QString &work, const QString &key) {
        return QSettings(work + "/bin/UserSetting.ini", QSettings::IniFormat).value(key);
    }

    static QStringList listing(const QString &folder) {
        QStringList entries;
        QDirIterator it(folder,
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            entries << QString("%1 %2 %3")
                           .arg(entry.filePath())
                           .arg(entry.size())
                           .arg(entry.lastModified().toMSecsSinceEpoch());
        }
        entries.sort();
        return entries;
    }

    QTemporaryDir scratch;
    QString root;
    QString launcher;
    QString installed;
    QStringList before;
    testsupport::X11Client x;
};

QTEST_MAIN(InstalledLauncherTest)
#include "tst_installedlauncher.moc"
