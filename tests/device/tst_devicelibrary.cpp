#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <dlfcn.h>

namespace {

const QString kMissing = QStringLiteral("missing");
const QStringList kMessageNames = {
    "WM_GAME_START",           "WM_GAME_STOP",      "WM_GAME_ALIVE",       "WM_VORN_MONITOR_ADDED",
    "WM_VORN_MONITOR_REMOVED", "WM_VORN_HID_ADDED", "WM_VORN_HID_REMOVED",
};

// A box as the probe describes it: the buttons are Qt's StandardButton flags.
QString box(const QString &title, const QString &text, int icon = 0) {
    return QStringLiteral("box title=%1|text=%2|icon=%3|buttons=%4|parent=0")
        .arg(title, text)
        .arg(icon)
        .arg(int(QMessageBox::Ok));
}

} // namespace

class DeviceLibraryTest : public QObject {
    Q_OBJECT

    // One run of the probe against one device library.
    struct Run {
        QStringList output;
        QString errors;
        QStringList calls;
        int exitCode = -1;
        QString workDir;

        QStringList instances() const { return output.filter(QRegularExpression("^instance ")); }
        QStringList boxes() const { return output.filter(QRegularExpression("^box ")); }
        QVariant setting(const QString &key) const {
            return QSettings(workDir + "/UserSetting.ini", QSettings::IniFormat).value(key);
        }
    };

    QTemporaryDir scratch;
    int runs = 0;

    // `library` is a folder of fakes, "missing" for none at all, or any folder to search.
    Run run(const QString &library, const QStringList &steps, const QStringList &environment = {},
            const QString &workDir = QString()) {
        Run result;
        const QString runDir = scratch.filePath(QString::number(++runs));
        QDir().mkpath(runDir + "/empty");
        result.workDir = workDir.isEmpty() ? runDir : workDir;
        QDir().mkpath(result.workDir);

        QString searchPath = library;
        if (library == kMissing)
            searchPath = runDir + "/empty";
        else if (!library.contains('/'))
            searchPath = QStringLiteral(HLX_FAKE_ROOT "/") + library;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Qt complains on standard error without one, and standard error is under test.
        QDir().mkpath(runDir + "/runtime");
        QFile::setPermissions(runDir + "/runtime", QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
        env.insert("XDG_RUNTIME_DIR", runDir + "/runtime");
        env.insert("LD_LIBRARY_PATH", searchPath);
        env.insert("HLX_FAKE_LOG", runDir + "/calls.log");
        for (const QString &assignment : environment)
            env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));

        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.setWorkingDirectory(result.workDir);
        probe.start(QStringLiteral(PROBE_PATH), steps);
        if (!probe.waitForFinished(30000)) {
            probe.kill();
            probe.waitForFinished();
        }
        result.exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
        result.output =
            QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        result.errors = QString::fromUtf8(probe.readAllStandardError());
        QFile log(runDir + "/calls.log");
        if (log.open(QIODevice::ReadOnly))
            result.calls = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        return result;
    }

    // A folder of its own per case whose settings already hold the choice "before", so a
    // case can tell a write that did not happen from one that did.
    QString folderWithStoredChoice(const QString &prefix) {
        const QString workDir = scratch.filePath(prefix + QTest::currentDataTag());
        QDir().mkpath(workDir);
        QSettings(workDir + "/UserSetting.ini", QSettings::IniFormat)
            .setValue("KEY_Eyeshield", "before");
        return workDir;
    }

    // What the system itself says when this library cannot be loaded, as the box must show it.
    static QString loadFailure(const QByteArray &what) {
        errno = 0;
        void *library = dlopen(what.constData(), RTLD_NOW | RTLD_LOCAL);
        const int code = errno;
        if (library != nullptr) {
            dlclose(library);
            return QString();
        }
        return QStringLiteral("%1 failed with error %2: %3")
            .arg(QStringLiteral("LoadLibrary(libHLX.so)"))
            .arg(code)
            .arg(QString::fromLocal8Bit(dlerror()));
    }

private slots:
    void missingLibraryGivesTwoBoxesAndGoesOn();
    void unloadableLibraryShowsTheSystemsReason();
    void constructionCallsInOrder();
    void missingExportAtConstruction_data();
    void missingExportAtConstruction();
    void initFailureWritesOneDebugLine_data();
    void initFailureWritesOneDebugLine();
    void messageNumbersAreStoredAsAnswered();
    void capturerPathKeepsDotDotAndNonAscii();
    void libraryIsLoadedOnceAcrossItsOwnBoxes();
    void startDisplayCapturer_data();
    void startDisplayCapturer();
    void enableEyeshield_data();
    void enableEyeshield();
    void disableEyeshield_data();
    void disableEyeshield();
    void filterWithUnregisteredNumbers();
    void filterLowerIndexWins();
};

void DeviceLibraryTest::missingLibraryGivesTwoBoxesAndGoesOn() {
    const Run r = run(kMissing, {"instance", "ids"});
    const QString reason = loadFailure("libHLX.so");
    QVERIFY(!reason.isEmpty());
    // Nothing was looked up after the failed load, so the second box repeats its reason.
    QString registration = reason;
    registration.replace("LoadLibrary(libHLX.so)", "GetProcAddress(_getWindowMessage)");
    QCOMPARE(r.boxes(), QStringList({box("Error", reason), box("Error", registration)}));
    QCOMPARE(r.output.filter("ids "), QStringList("ids 0,0,0,0,0,0,0"));
    QCOMPARE(r.errors, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.output.last(), QStringLiteral("end"));
    QCOMPARE(r.setting("target_path_Pictor").toString(), r.workDir + "/../Pictor/Pictor.exe");
}

void DeviceLibraryTest::unloadableLibraryShowsTheSystemsReason() {
    // A file of the right name that is no library at all: the reason is the loader's own.
    const QString folder = scratch.filePath("broken");
    QDir().mkpath(folder);
    QFile broken(folder + "/libHLX.so");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a shared object");
    broken.close();

    const Run r = run(folder, {"instance"});
    const QString reason = loadFailure(QFile::encodeName(folder + "/libHLX.so"));
    QVERIFY(reason.contains("libHLX.so"));
    QCOMPARE(r.boxes().value(0), box("Error", reason));
    QCOMPARE(r.boxes().size(), 2);
}

void DeviceLibraryTest::constructionCallsInOrder() {
    const Run r = run("all", {"instance", "instance", "ids"});
    QStringList expected{"HLX_SetDisplayCapturerPath " + r.workDir + "/../Pictor/Pictor.exe"};
    for (const QString &name : kMessageNames)
        expected << "HLX_GetWindowMessage " + name;
    expected << "HLX_Init";
    QCOMPARE(r.calls, expected);
    QCOMPARE(r.instances(), QStringList({"instance new", "instance same"}));
    QCOMPARE(r.boxes(), QStringList());
    QCOMPARE(r.errors, QString());
}

void DeviceLibraryTest::missingExportAtConstruction_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QStringList>("boxPrefixes");
    QTest::addColumn<QStringList>("absentCalls");

    QTest::newRow("Init") << "HLX_Init" << QStringList() << QStringList{"HLX_Init"};
    QTest::newRow("Deinit") << "HLX_Deinit" << QStringList() << QStringList();
    QTest::newRow("SetDisplayCapturerPath") << "HLX_SetDisplayCapturerPath" << QStringList()
                                            << QStringList{"HLX_SetDisplayCapturerPath"};
    QTest::newRow("StartDisplayCapturer")
        << "HLX_StartDisplayCapturer" << QStringList() << QStringList();
    QTest::newRow("StopDisplayCapturer")
        << "HLX_StopDisplayCapturer" << QStringList() << QStringList();
    QTest::newRow("EnableEyeshield") << "HLX_EnableEyeshield" << QStringList() << QStringList();
    QTest::newRow("DisableEyeshield") << "HLX_DisableEyeshield" << QStringList() << QStringList();
    QTest::newRow("GetWindowMessage")
        << "HLX_GetWindowMessage"
        << QStringList{"box title=Error|text=GetProcAddress(_getWindowMessage) failed with error "}
        << QStringList{"HLX_GetWindowMessage"};
}

void DeviceLibraryTest::missingExportAtConstruction() {
    QFETCH(QString, variant);
    QFETCH(QStringList, boxPrefixes);
    QFETCH(QStringList, absentCalls);

    const Run r = run(variant, {"instance", "ids"});
    const QStringList boxes = r.boxes();
    QCOMPARE(boxes.size(), boxPrefixes.size());
    for (int i = 0; i < boxes.size(); ++i) {
        QVERIFY2(boxes.at(i).startsWith(boxPrefixes.at(i)), qPrintable(boxes.at(i)));
        // The loader's reason names the export that was looked for.
        QVERIFY2(boxes.at(i).contains(variant), qPrintable(boxes.at(i)));
    }
    for (const QString &call : absentCalls)
        QCOMPARE(r.calls.filter(QRegularExpression("^" + call + "( |$)")), QStringList());
    // Whatever is missing, the rest of construction still runs.
    if (variant != "HLX_Init")
        QCOMPARE(r.calls.last(), QStringLiteral("HLX_Init"));
    if (variant != "HLX_GetWindowMessage")
        QCOMPARE(r.calls.filter("HLX_GetWindowMessage").size(), 7);
    else
        QCOMPARE(r.output.filter("ids "), QStringList("ids 0,0,0,0,0,0,0"));
    QCOMPARE(r.setting("target_path_Pictor").toString(), r.workDir + "/../Pictor/Pictor.exe");
    QCOMPARE(r.errors, QString());
    QCOMPARE(r.exitCode, 0);
}

void DeviceLibraryTest::initFailureWritesOneDebugLine_data() {
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("errors");
    QTest::newRow("-1") << -1 << "libHLX dll init failed.\n";
    QTest::newRow("INT_MIN") << INT_MIN << "libHLX dll init failed.\n";
    QTest::newRow("0") << 0 << "";
    QTest::newRow("1") << 1 << "";
}

void DeviceLibraryTest::initFailureWritesOneDebugLine() {
    QFETCH(int, result);
    QFETCH(QString, errors);
    const Run r = run("all", {"instance", "instance"},
                      {"HLX_FAKE_RESULT_HLX_Init=" + QString::number(result)});
    QCOMPARE(r.errors, errors);
    QCOMPARE(r.calls.filter("HLX_Init").size(), 1);
    QCOMPARE(r.boxes(), QStringList());
    QCOMPARE(r.instances(), QStringList({"instance new", "instance same"}));
}

void DeviceLibraryTest::messageNumbersAreStoredAsAnswered() {
    // Zero and a repeated number are kept as they come; nothing examines the answers.
    const Run r = run("all", {"instance", "ids"},
                      {"HLX_FAKE_WINDOW_MESSAGES=49153,0,4294967295,49156,49153,77,78"});
    QCOMPARE(r.output.filter("ids "), QStringList("ids 49153,0,4294967295,49156,49153,77,78"));
}

void DeviceLibraryTest::capturerPathKeepsDotDotAndNonAscii() {
    const QString workDir = scratch.filePath(QStringLiteral("Geräte Ümlaut/日本/bin"));
    const Run r = run("all", {"instance"}, {}, workDir);
    const QString path = workDir + "/../Pictor/Pictor.exe";
    QCOMPARE(r.calls.value(0), "HLX_SetDisplayCapturerPath " + path);
    QCOMPARE(r.setting("target_path_Pictor").toString(), path);
}

void DeviceLibraryTest::libraryIsLoadedOnceAcrossItsOwnBoxes() {
    // The box about the missing export runs a nested loop; a fetch from there gets nothing,
    // and construction neither restarts nor hands the path over twice.
    const Run r = run("HLX_GetWindowMessage", {"instance", "instance", "message", "3"});
    QCOMPARE(r.boxes().size(), 1);
    QCOMPARE(r.output.filter("nested-instance"), QStringList("nested-instance null"));
    QCOMPARE(r.instances(), QStringList({"instance new", "instance same"}));
    QCOMPARE(r.calls.filter("HLX_SetDisplayCapturerPath").size(), 1);
    QCOMPARE(r.calls.filter("HLX_Init").size(), 1);
}

void DeviceLibraryTest::startDisplayCapturer_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("boxes");
    QTest::newRow("0") << "all"
                       << "0"
                       << "start 0" << 0;
    QTest::newRow("-2 unchanged") << "all"
                                  << "-2"
                                  << "start -2" << 0;
    QTest::newRow("5 unchanged") << "all"
                                 << "5"
                                 << "start 5" << 0;
    QTest::newRow("missing: -1 and a box each time") << "HLX_StartDisplayCapturer"
                                                     << "0"
                                                     << "start -1" << 2;
}

void DeviceLibraryTest::startDisplayCapturer() {
    QFETCH(QString, variant);
    QFETCH(QString, result);
    QFETCH(QString, expected);
    QFETCH(int, boxes);
    const Run r =
        run(variant, {"start", "start"}, {"HLX_FAKE_RESULT_HLX_StartDisplayCapturer=" + result});
    QCOMPARE(r.output.filter("start "), QStringList({expected, expected}));
    QCOMPARE(r.boxes().size(), boxes);
    for (const QString &line : r.boxes())
        QVERIFY2(line.startsWith("box title=Error|text=GetProcAddress(HLX_StartDisplayCapture) "
                                 "failed with error "),
                 qPrintable(line));
    QCOMPARE(r.calls.filter("HLX_StartDisplayCapturer").size(), boxes == 0 ? 2 : 0);
}

void DeviceLibraryTest::enableEyeshield_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("boxPrefix");
    QTest::newRow("0 stores") << "all"
                              << "0"
                              << "EnableEyeshield"
                              << "";
    QTest::newRow("-2 warns") << "all"
                              << "-2"
                              << "before"
                              << box("enable eye shield fail", "can not find Vornel HMD",
                                     int(QMessageBox::Warning));
    QTest::newRow("1 nothing") << "all"
                               << "1"
                               << "before"
                               << "";
    QTest::newRow("-1 nothing") << "all"
                                << "-1"
                                << "before"
                                << "";
    QTest::newRow("missing") << "HLX_EnableEyeshield"
                             << "0"
                             << "before"
                             << "box title=Error|text=GetProcAddress(_enableEyeshield) failed "
                                "with error ";
}

void DeviceLibraryTest::enableEyeshield() {
    QFETCH(QString, variant);
    QFETCH(QString, result);
    QFETCH(QString, stored);
    QFETCH(QString, boxPrefix);

    const QString workDir = folderWithStoredChoice("enable-");

    const Run r = run(variant, {"instance", "enable", "1"},
                      {"HLX_FAKE_RESULT_HLX_EnableEyeshield=" + result}, workDir);
    QCOMPARE(r.setting("KEY_Eyeshield").toString(), stored);
    QCOMPARE(r.boxes().size(), boxPrefix.isEmpty() ? 0 : 1);
    if (!boxPrefix.isEmpty())
        QVERIFY2(r.boxes().first().startsWith(boxPrefix), qPrintable(r.boxes().first()));
    QCOMPARE(r.calls.filter("HLX_EnableEyeshield"),
             variant == "all" ? QStringList("HLX_EnableEyeshield 1") : QStringList());
    QCOMPARE(r.output.filter(QRegularExpression("^enable ")), QStringList("enable done"));
}

void DeviceLibraryTest::disableEyeshield_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("boxes");
    QTest::newRow("0 stores") << "all"
                              << "0"
                              << "DisableEyeshield" << 0;
    QTest::newRow("-2 silent") << "all"
                               << "-2"
                               << "before" << 0;
    QTest::newRow("1 silent") << "all"
                              << "1"
                              << "before" << 0;
    QTest::newRow("missing") << "HLX_DisableEyeshield"
                             << "0"
                             << "before" << 1;
}

void DeviceLibraryTest::disableEyeshield() {
    QFETCH(QString, variant);
    QFETCH(QString, result);
    QFETCH(QString, stored);
    QFETCH(int, boxes);

    const QString workDir = folderWithStoredChoice("disable-");

    const Run r = run(variant, {"instance", "disable"},
                      {"HLX_FAKE_RESULT_HLX_DisableEyeshield=" + result}, workDir);
    QCOMPARE(r.setting("KEY_Eyeshield").toString(), stored);
    QCOMPARE(r.boxes().size(), boxes);
    if (boxes > 0)
        QVERIFY(r.boxes().first().startsWith(
            "box title=Error|text=GetProcAddress(_disableEyeshield) failed with error "));
    QCOMPARE(r.calls.filter("HLX_DisableEyeshield").size(), variant == "all" ? 1 : 0);
}

void DeviceLibraryTest::filterWithUnregisteredNumbers() {
    // Without the registering export every number stays 0: a message numbered 0 is taken as
    // the first, ignored message, and no other number changes anything.
    const Run r = run("HLX_GetWindowMessage", {"instance", "filter", "0", "filter", "49155",
                                               "message", "3", "message", "5"});
    const QStringList filtered = r.output.filter("filter ");
    QCOMPARE(filtered.size(), 4);
    for (const QString &line : filtered)
        QCOMPARE(line, QStringLiteral("filter consumed=0 redrawn=0 text=No VR HMD"));
}

void DeviceLibraryTest::filterLowerIndexWins() {
    // Index 4 (display removed) shares its number with index 1 (a game stopped), and index 3
    // (display added) shares 0 with nothing registered elsewhere.
    const Run r = run("all",
                      {"instance", "message", "5", "filter", "49153", "filter", "49155", "filter",
                       "49153", "filter", "49157", "filter", "1"},
                      {"HLX_FAKE_WINDOW_MESSAGES=49152,49153,49154,49155,49153,49157,49158"});
    QCOMPARE(r.output.filter("filter "),
             QStringList({
                 "filter consumed=0 redrawn=1 text=HDMI is not ready and USB is ready",
                 "filter consumed=0 redrawn=0 text=HDMI is not ready and USB is ready",
                 "filter consumed=0 redrawn=1 text=both HDMI and USB are ready",
                 "filter consumed=0 redrawn=0 text=both HDMI and USB are ready",
                 "filter consumed=0 redrawn=1 text=both HDMI and USB are ready",
                 "filter consumed=0 redrawn=0 text=both HDMI and USB are ready",
             }));
}

QTEST_GUILESS_MAIN(DeviceLibraryTest)
#include "tst_devicelibrary.moc"
