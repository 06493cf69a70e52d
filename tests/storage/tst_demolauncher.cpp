#include "DemoLauncher.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QVector>

#include <csignal>

namespace {

const QStringList kDemoArguments = {"-screen-fullscreen", "1",    "-screen-height", "1080",
                                    "-screen-width",      "1920", "-adapter",       "1"};

} // namespace

// Starting the demo from the working directory of the moment, with the stand-in demo that
// records how it was started.
class DemoLauncherTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(scratch.isValid());
        qputenv("HLX_COMPANION_RECORD", recordFile().toUtf8());
        home = QDir::currentPath();
    }

    void cleanup() {
        QDir::setCurrent(home);
        for (const QJsonObject &record : records())
            ::kill(static_cast<pid_t>(record.value("pid").toInt()), SIGTERM);
        QFile::remove(recordFile());
    }

    void startsTheDemoBesideTheWorkingDirectory_data() {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "install";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Démo-Ordner ✓/Gerät");
        QTest::newRow("blanks") << "with blanks/in it";
    }

    void startsTheDemoBesideTheWorkingDirectory() {
        QFETCH(QString, folder);
        const QString bin = installDemo(folder);
        QVERIFY(QDir::setCurrent(bin));

        DemoLauncher::instance()->launch();
        QVERIFY(waitForRecords(1));
        const QJsonObject demo = records().front();
        const QString expected = bin + "/../demo/Lumeshow.exe";
        QCOMPARE(demo.value("path").toString(), expected);
        QCOMPARE(demo.value("arguments").toVariant().toStringList(), kDemoArguments);
        QCOMPARE(demo.value("workingDirectory").toString(), bin);
        QCOMPARE(storedPath(bin), QVariant(expected));
    }

    void missingDemoIsStillRecorded() {
        const QString bin = scratch.filePath("empty/bin");
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir::setCurrent(bin));
        DemoLauncher::instance()->launch();
        QCOMPARE(storedPath(bin), QVariant(bin + "/../demo/Lumeshow.exe"));
        QTest::qWait(300);
        QVERIFY(records().isEmpty());
    }

    void everyLaunchStartsAndRecordsAgain() {
        const QString bin = installDemo("twice");
        QVERIFY(QDir::setCurrent(bin));
        DemoLauncher::instance()->launch();
        DemoLauncher::instance()->launch();
        QVERIFY(waitForRecords(2));
        QCOMPARE(records().size(), 2);
        QVERIFY(records().at(0).value("pid") != records().at(1).value("pid"));
        QCOMPARE(storedPath(bin), QVariant(bin + "/../demo/Lumeshow.exe"));
    }

    void followsTheWorkingDirectoryOfTheMoment() {
        const QString first = installDemo("first");
        const QString second = installDemo("second");
        QVERIFY(QDir::setCurrent(first));
        DemoLauncher::instance()->launch();
        QVERIFY(QDir::setCurrent(second));
        DemoLauncher::instance()->launch();
        QVERIFY(waitForRecords(2));
        QStringList folders;
        for (const QJsonObject &record : records())
            folders << record.value("workingDirectory").toString();
        folders.sort();
        QCOMPARE(folders, (QStringList{first, second}));
        QCOMPARE(storedPath(first), QVariant(first + "/../demo/Lumeshow.exe"));
        QCOMPARE(storedPath(second), QVariant(second + "/../demo/Lumeshow.exe"));
    }

    void keepsTheOtherSettings() {
        const QString bin = installDemo("shared");
        QVERIFY(QDir::setCurrent(bin));
        QSettings(bin + "/UserSetting.ini", QSettings::IniFormat)
            .setValue("KEY_Eyeshield", "EnableEyeshield");
        DemoLauncher::instance()->launch();
        QSettings settings(bin + "/UserSetting.ini", QSettings::IniFormat);
        QCOMPARE(settings.value("KEY_Eyeshield"), QVariant("EnableEyeshield"));
        QCOMPARE(settings.value("target_path_Demo"), QVariant(bin + "/../demo/Lumeshow.exe"));
    }

private:
    // An installation under the scratch folder: "<folder>/bin" to work in, and the demo
    // (a link to the stand-in) in "<folder>/demo".
    QString installDemo(const QString &folder) {
        const QString root = scratch.filePath(folder);
        const bool made = QDir().mkpath(root + "/bin") && QDir().mkpath(root + "/demo") &&
                          QFile::link(HLX_DEMO_PATH, root + "/demo/Lumeshow.exe");
        return made ? root + "/bin" : QString();
    }

    QString recordFile() const { return scratch.filePath("companions.jsonl"); }

    QVector<QJsonObject> records() const {
        QVector<QJsonObject> result;
        QFile in(recordFile());
        if (!in.open(QIODevice::ReadOnly))
            return result;
        for (const QByteArray &line : in.readAll().split('\n')) {
            if (!line.isEmpty())
                result.append(QJsonDocument::fromJson(line).object());
        }
        return result;
    }

    bool waitForRecords(int count) const {
        return QTest::qWaitFor([&] { return records().size() >= count; }, 10000);
    }

    static QVariant storedPath(const QString &folder) {
        return QSettings(folder + "/UserSetting.ini", QSettings::IniFormat)
            .value("target_path_Demo");
    }

    QTemporaryDir scratch;
    QString home;
};

QTEST_GUILESS_MAIN(DemoLauncherTest)
#include "tst_demolauncher.moc"
