#include "CompanionRecords.h"
#include "ScreenReader.h"
#include "UtilityProcess.h"
#include "UtilityWindow.h"
#include "X11Client.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The window's device commands in the built utility, clicked through the X server, against
// test doubles of the device library that record every call, and the stand-in demo that
// records how it was started. Boxes are read through the accessibility bus, as a screen
// reader reads them.
class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(reader.start(), qPrintable(reader.errorString()));
        hands.reset(new UtilityWindow(x));
    }

    // Each test a folder of its own, laid out as an installation: the utility works in
    // "bin", and the demo sits in "demo" beside it.
    void init() {
        scratch.reset(new QTemporaryDir);
        QVERIFY(scratch->isValid());
        workDir = scratch->filePath("install/bin");
        QVERIFY(QDir().mkpath(workDir));
        companions.reset(new CompanionRecords(scratch->filePath("companions.jsonl")));
    }

    void cleanup() {
        utility.reset();
        companions.reset();
    }

    void showDemoStartsTheDemoFromTheWorkingDirectory() {
        installDemo();
        const xcb_window_t window = start("all");
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(hands->press(window, "btnShowDemo"));

        QVERIFY(companions->waitForStarts("Lumeshow", 1));
        const QJsonObject demo = companions->starts("Lumeshow").front();
        QCOMPARE(demo.value("arguments").toVariant().toStringList(),
                 CompanionRecords::demoArguments());
        QCOMPARE(demo.value("workingDirectory").toString(), workDir);
        QVERIFY(QTest::qWaitFor([&] { return calls().contains("HLX_DisableEyeshield"); }));
        QCOMPARE(setting("target_path_Demo"), QVariant(workDir + "/../demo/Lumeshow.exe"));
        QCOMPARE(calls().count("HLX_StartDisplayCapturer"), 1);

        // Again: started anew, recorded anew with the same text.
        QVERIFY(hands->press(window, "btnShowDemo"));
        QVERIFY(companions->waitForStarts("Lumeshow", 2));
        QVERIFY(QTest::qWaitFor([&] { return calls().count("HLX_DisableEyeshield") == 2; }));
        QCOMPARE(setting("target_path_Demo"), QVariant(workDir + "/../demo/Lumeshow.exe"));
        QVERIFY(hands->shown(QString()).size() == 1);
    }

    void missingDemoIsStillRecordedAndShowsNothing() {
        const xcb_window_t window = start("all");
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(hands->press(window, "btnShowDemo"));
        QVERIFY(QTest::qWaitFor([&] { return calls().contains("HLX_DisableEyeshield"); }));
        QCOMPARE(setting("target_path_Demo"), QVariant(workDir + "/../demo/Lumeshow.exe"));
        QTest::qWait(300);
        QCOMPARE(int(hands->shown(QString()).size()), 1);
        QVERIFY(utility->isRunning());
    }

    void capturerNotFoundWarnsAndStops() {
        installDemo();
        setting("KEY_Eyeshield", "EnableEyeshield");
        utility.reset(new UtilityProcess(UtilityProcess::newSession()));
        utility->setEnvironment("HLX_FAKE_RESULT_HLX_StartDisplayCapturer", "-2");
        const xcb_window_t window = start("all");
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(hands->press(window, "btnShowDemo"));

        const xcb_window_t box = hands->waitForOne("open demo fail");
        QVERIFY(box != XCB_WINDOW_NONE);
        QCOMPARE(reader.boxTexts("open demo fail"), QStringList{"can not find screen capturer"});
        QCOMPARE(reader.boxButtons("open demo fail"), QStringList{"OK"});
        QVERIFY(x.sendDeleteWindow(box));
        QVERIFY(QTest::qWaitFor([&] { return hands->shown("open demo fail").empty(); }));

        QTest::qWait(500);
        QVERIFY(companions->starts("Lumeshow").isEmpty());
        QCOMPARE(calls().filter("Eyeshield").size(), 0);
        QVERIFY(!setting("target_path_Demo").isValid());
        QCOMPARE(setting("KEY_Eyeshield"), QVariant("EnableEyeshield"));
    }

    void capturerEntryMissingReportsAndGoesOn() {
        installDemo();
        const xcb_window_t window = start("HLX_StartDisplayCapturer");
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(hands->press(window, "btnShowDemo"));

        const xcb_window_t box = hands->waitForOne("Error");
        QVERIFY(box != XCB_WINDOW_NONE);
        const QStringList texts = reader.boxTexts("Error");
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.front().startsWith("GetProcAddress(HLX_StartDisplayCapture) failed with "
                                          "error "),
                 qPrintable(texts.front()));
        // The demo waits for the box to be answered.
        QTest::qWait(300);
        QVERIFY(companions->starts("Lumeshow").isEmpty());
        QVERIFY(x.sendDeleteWindow(box));

        QVERIFY(companions->waitForStarts("Lumeshow", 1));
        QVERIFY(QTest::qWaitFor([&] { return calls().contains("HLX_DisableEyeshield"); }));
        QCOMPARE(setting("target_path_Demo"), QVariant(workDir + "/../demo/Lumeshow.exe"));
    }

    void withoutLibraryEachStepReportsAndTheDemoStillStarts() {
        installDemo();
        // Copied alone, the utility finds no device library beside itself.
        const QString program = scratch->filePath("hlx-config");
        QVERIFY(QFile::copy(HLX_CONFIG_PATH, program));
        utility.reset(new UtilityProcess(UtilityProcess::newSession()));
        utility->setEnvironment("LD_LIBRARY_PATH", QString());
        utility->setEnvironment("HLX_COMPANION_RECORD", companions->file());
        utility->setWorkingDirectory(workDir);
        utility->start({}, program);
        const xcb_window_t window = utility->waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        // The load and the registration each report, once.
        QVERIFY(answerError("LoadLibrary(libHLX.so) failed with error "));
        QVERIFY(answerError("GetProcAddress(_getWindowMessage) failed with error "));

        QVERIFY(hands->press(window, "btnShowDemo"));
        QVERIFY(answerError("GetProcAddress(HLX_StartDisplayCapture) failed with error "));
        QVERIFY(companions->waitForStarts("Lumeshow", 1));
        QVERIFY(answerError("GetProcAddress(_disableEyeshield) failed with error "));
        QCOMPARE(setting("target_path_Demo"), QVariant(workDir + "/../demo/Lumeshow.exe"));
        QVERIFY(!setting("KEY_Eyeshield").isValid());
        QTest::qWait(300);
        QVERIFY(hands->shown("Error").empty());
        QVERIFY(utility->isRunning());
    }

    void storedChoiceDecidesTheEyeshieldCall_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("enabled") << QVariant("EnableEyeshield") << "HLX_EnableEyeshield 1";
        QTest::newRow("disabled") << QVariant("DisableEyeshield") << "HLX_DisableEyeshield";
        QTest::newRow("nothing") << QVariant() << "HLX_DisableEyeshield";
        QTest::newRow("other case") << QVariant("enableeyeshield") << "HLX_DisableEyeshield";
        QTest::newRow("trailing blank") << QVariant("EnableEyeshield ") << "HLX_DisableEyeshield";
        QTest::newRow("other text") << QVariant("Level 1") << "HLX_DisableEyeshield";
    }

    void storedChoiceDecidesTheEyeshieldCall() {
        QFETCH(QVariant, stored);
        QFETCH(QString, expected);
        if (stored.isValid())
            setting("KEY_Eyeshield", stored.toString());
        const xcb_window_t window = start("all");
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(hands->press(window, "btnShowDemo"));
        QVERIFY(QTest::qWaitFor([&] { return !calls().filter("Eyeshield").isEmpty(); }));
        QTest::qWait(200);
        QCOMPARE(calls().filter("Eyeshield"), QStringList{expected});
    }

    void menuEntriesCallOnceAndStoreOnlySuccess_data() {
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("expectedCall");
        QTest::newRow("level 1, switched on") << UtilityWindow::levelOne() << "HLX_EnableEyeshield"
                                              << "0"
                                              << "DisableEyeshield"
                                              << "EnableEyeshield"
                                              << "HLX_EnableEyeshield 1";
        QTest::newRow("level 1, refused") << UtilityWindow::levelOne() << "HLX_EnableEyeshield"
                                          << "3"
                                          << "DisableEyeshield"
                                          << "DisableEyeshield"
                                          << "HLX_EnableEyeshield 1";
        QTest::newRow("off, switched off")
            << UtilityWindow::disableEyeshield() << "HLX_DisableEyeshield"
            << "0"
            << "EnableEyeshield"
            << "DisableEyeshield"
            << "HLX_DisableEyeshield";
        QTest::newRow("off, no headset")
            << UtilityWindow::disableEyeshield() << "HLX_DisableEyeshield"
            << "-2"
            << "EnableEyeshield"
            << "EnableEyeshield"
            << "HLX_DisableEyeshield";
    }

    void menuEntriesCallOnceAndStoreOnlySuccess() {
        QFETCH(QStringList, path);
        QFETCH(QString, entry);
        QFETCH(QString, result);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, expectedCall);
        setting("KEY_Eyeshield", before);
        utility.reset(new UtilityProcess(UtilityProcess::newSession()));
        utility->setEnvironment("HLX_FAKE_RESULT_" + entry, result);
        const xcb_window_t window = start("all");
        QVERIFY(window != XCB_WINDOW_NONE);

        QVERIFY(hands->choose(window, path));
        QVERIFY(QTest::qWaitFor([&] { return !calls().filter("Eyeshield").isEmpty(); }));
        QTest::qWait(300);
        QCOMPARE(calls().filter("Eyeshield"), QStringList{expectedCall});
        QCOMPARE(setting("KEY_Eyeshield"), QVariant(after));
        QCOMPARE(int(hands->shown(QString()).size()), 1);
    }

    void levelOneWithoutHeadsetWarns() {
        setting("KEY_Eyeshield", "DisableEyeshield");
        utility.reset(new UtilityProcess(UtilityProcess::newSession()));
        utility->setEnvironment("HLX_FAKE_RESULT_HLX_EnableEyeshield", "-2");
        const xcb_window_t window = start("all");
        QVERIFY(window != XCB_WINDOW_NONE);

        QVERIFY(hands->choose(window, UtilityWindow::levelOne()));
        const xcb_window_t box = hands->waitForOne("enable eye shield fail");
        QVERIFY(box != XCB_WINDOW_NONE);
        QCOMPARE(reader.boxTexts("enable eye shield fail"), QStringList{"can not find Vornel HMD"});
        QVERIFY(x.sendDeleteWindow(box));
        QVERIFY(QTest::qWaitFor([&] { return hands->shown("enable eye shield fail").empty(); }));
        QCOMPARE(calls().filter("Eyeshield"), QStringList{"HLX_EnableEyeshield 1"});
        QCOMPARE(setting("KEY_Eyeshield"), QVariant("DisableEyeshield"));
        QVERIFY(utility->isRunning());
    }

private:
    void installDemo() {
        const QString demoDir = scratch->filePath("install/demo");
        QVERIFY(QDir().mkpath(demoDir));
        QVERIFY(QFile::link(HLX_DEMO_PATH, demoDir + "/Lumeshow.exe"));
    }

    // Starts the utility in the work folder with the test double of the device library
    // that lacks `variant` ("all": lacks nothing), unless the test set the process up.
    xcb_window_t start(const QString &variant) {
        if (utility.isNull())
            utility.reset(new UtilityProcess(UtilityProcess::newSession()));
        utility->setEnvironment("LD_LIBRARY_PATH", HLX_FAKE_ROOT "/" + variant);
        utility->setEnvironment("HLX_FAKE_LOG", scratch->filePath("calls.log"));
        utility->setEnvironment("HLX_COMPANION_RECORD", companions->file());
        utility->setWorkingDirectory(workDir);
        utility->start();
        const xcb_window_t window = utility->waitForShownWindow(x);
        // The library is loaded by the first event after the window is shown.
        const bool loaded = QTest::qWaitFor([&] { return calls().contains("HLX_Init"); });
        return loaded ? window : xcb_window_t(XCB_WINDOW_NONE);
    }

    // Waits for the one "Error" box, checks how its text begins and answers it.
    bool answerError(const QString &beginning) {
        const xcb_window_t box = hands->waitForOne("Error");
        if (box == XCB_WINDOW_NONE)
            return false;
        const QStringList texts = reader.boxTexts("Error");
        if (texts.size() != 1 || !texts.front().startsWith(beginning)) {
            qWarning() << "the box says" << texts;
            return false;
        }
        return x.sendDeleteWindow(box) && QTest::qWaitFor([&] { return !x.isViewable(box); }, 5000);
    }

    QStringList calls() {
        QFile log(scratch->filePath("calls.log"));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QVariant setting(const QString &key) {
        return QSettings(workDir + "/UserSetting.ini", QSettings::IniFormat).value(key);
    }
    void setting(const QString &key, const QString &value) {
        QSettings(workDir + "/UserSetting.ini", QSettings::IniFormat).setValue(key, value);
    }

    ScreenReader reader;
    testsupport::X11Client x;
    QScopedPointer<UtilityWindow> hands;
    QScopedPointer<QTemporaryDir> scratch;
    QScopedPointer<CompanionRecords> companions;
    QScopedPointer<UtilityProcess> utility;
    QString workDir;
};

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
