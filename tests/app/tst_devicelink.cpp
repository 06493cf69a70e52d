#include "ScreenReader.h"
#include "TrayHost.h"
#include "UtilityProcess.h"
#include "X11Client.h"
#include "XcbConnection.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString kNotReady = QStringLiteral("both HDMI and USB are not ready");
const QString kDisplayOnly = QStringLiteral("HDMI is ready and USB is not ready");
const QString kBothReady = QStringLiteral("both HDMI and USB are ready");
const QString kUsbOnly = QStringLiteral("HDMI is not ready and USB is ready");

// Where the form puts the status text and the picture, below the menu bar.
constexpr int kPictureTop = 20;
constexpr int kPictureBottom = 295;
constexpr int kStatusTop = 320;
constexpr int kStatusBottom = 395;

// The text of a status sentence: red or green, strongly saturated even where smoothed.
bool isColouredInk(QRgb pixel) {
    const int high = qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel)));
    const int low = qMin(qRed(pixel), qMin(qGreen(pixel), qBlue(pixel)));
    return high - low > 96;
}

bool isDarkInk(QRgb pixel) {
    return qGray(pixel) < 160;
}

// The smallest rectangle of the shot that holds every pixel of ink.
QRect inkBox(const QImage &shot, bool (*isInk)(QRgb)) {
    QRect box;
    for (int yy = 0; yy < shot.height(); ++yy) {
        for (int xx = 0; xx < shot.width(); ++xx) {
            if (isInk(shot.pixel(xx, yy)))
                box |= QRect(xx, yy, 1, 1);
        }
    }
    return box;
}

// Mean difference per channel over the pixels that the picture covers fully.
double pictureDistance(const QImage &shot, const QImage &picture) {
    double sum = 0;
    qint64 count = 0;
    for (int yy = 0; yy < picture.height(); ++yy) {
        for (int xx = 0; xx < picture.width(); ++xx) {
            const QRgb want = picture.pixel(xx, yy);
            if (qAlpha(want) != 255)
                continue;
            const QRgb got = shot.pixel(xx, yy);
            sum += qAbs(qRed(got) - qRed(want)) + qAbs(qGreen(got) - qGreen(want)) +
                   qAbs(qBlue(got) - qBlue(want));
            count += 3;
        }
    }
    return count == 0 ? 255 : sum / double(count);
}

} // namespace

// The built utility with the stand-in device library, driven by the stand-in device side as
// a separate process, and read from outside: its texts through the accessibility bus, as a
// screen reader reads them, and its colours and pictures from the screen.
class DeviceLinkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(reader.start(), qPrintable(reader.errorString()));
        QVERIFY(device({"unplug"}));
    }

    // Each test its own folder, so files that one leaves are never read by the next.
    void init() {
        scratch.reset(new QTemporaryDir);
        QVERIFY(scratch->isValid());
    }

    void displayFollowsPlugAndUnplug() {
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY2(waitForStatus("No VR HMD"), qPrintable(statusText()));

        QVERIFY(device({"monitor-added"}));
        QVERIFY2(waitForStatus(kDisplayOnly), qPrintable(statusText()));
        QVERIFY(QTest::qWaitFor([&] { return statusColours(window) == qMakePair(0, 1); }));
        const QImage noHmd = band(window, kPictureTop, kPictureBottom);

        QVERIFY(device({"plug"}));
        QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
        QVERIFY(QTest::qWaitFor([&] { return statusColours(window) == qMakePair(1, 0); }));
        QVERIFY(
            QTest::qWaitFor([&] { return band(window, kPictureTop, kPictureBottom) != noHmd; }));

        QVERIFY(device({"unplug"}));
        QVERIFY2(waitForStatus(kNotReady), qPrintable(statusText()));
        QVERIFY(QTest::qWaitFor([&] { return statusColours(window) == qMakePair(0, 1); }));
        QVERIFY(
            QTest::qWaitFor([&] { return band(window, kPictureTop, kPictureBottom) == noHmd; }));
    }

    // A headset plugged in before the start: the device library tells the utility as it
    // loads, and tells no other program.
    void headsetPluggedBeforeTheStartShowsAtOnce() {
        QVERIFY(device({"plug"}));
        const xcb_window_t bystander = otherProgramsWindow();
        QVERIFY(bystander != XCB_WINDOW_NONE);

        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
        QVERIFY(QTest::qWaitFor([&] { return statusColours(window) == qMakePair(1, 0); }));
        const int heard = deviceMessagesReceived();
        xcb_destroy_window(connection.get(), bystander);
        QVERIFY(device({"unplug"}));
        QCOMPARE(heard, 0);
    }

    // What a hostile neighbour may leave in the working folder: the settings store must
    // neither hang the window nor touch it, and say once that the write was lost.
    void settingsTrapsKeepTheWindowAnswering_data() {
        QTest::addColumn<QString>("trap");
        QTest::newRow("settings file is a FIFO") << "fifo";
        QTest::newRow("lock of another running program") << "held lock";
        QTest::newRow("lock name taken by a folder") << "lock folder";
    }

    void settingsTrapsKeepTheWindowAnswering() {
        QFETCH(QString, trap);
        const QString settings = scratch->filePath("UserSetting.ini");
        const QString lock = settings + ".lock";
        if (trap == "fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(settings).constData(), 0600), 0);
        } else if (trap == "lock folder") {
            QVERIFY(QDir().mkpath(lock));
        } else {
            // As Qt writes its lock: process, program, host. This test process stays alive.
            QFile file(lock);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                       QCoreApplication::applicationName().toUtf8() + '\n' +
                       QSysInfo::machineHostName().toUtf8() + '\n');
        }
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY2(waitForStatus("No VR HMD"), qPrintable(statusText()));

        QElapsedTimer sincePlug;
        sincePlug.start();
        QVERIFY(device({"plug"}));
        QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
        const qint64 followedMs = sincePlug.elapsed();
        QVERIFY(device({"unplug"}));
        QVERIFY2(followedMs < 1000, qPrintable(QString::number(followedMs)));
        qInfo("status followed the plug after %lld ms", followedMs);

        QByteArray errors;
        QVERIFY(QTest::qWaitFor([&] {
            errors += utility.standardError();
            return errors.contains("UserSetting.ini: could not write");
        }));
        QCOMPARE(errors.count("UserSetting.ini: could not write \"target_path_Pictor\""), 1);
        QCOMPARE(QFileInfo(trap == "fifo" ? settings : lock).isFile(), trap == "held lock");
        QVERIFY(QFileInfo::exists(trap == "fifo" ? settings : lock));
    }

    void hiddenWindowKeepsFollowing() {
        testsupport::TrayHost tray;
        QVERIFY(tray.start());
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(UtilityProcess::closeToTray(x, window));
        QVERIFY(device({"plug"}));
        QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
        QVERIFY(device({"hid-removed"}));
        QVERIFY2(waitForStatus(kDisplayOnly), qPrintable(statusText()));
        QVERIFY(!x.isViewable(window));
        QVERIFY(device({"unplug"}));
    }

    // Started at login into the tray, the window was never shown, and still follows.
    void startedIntoTheTrayFollowsFromTheStart() {
        testsupport::TrayHost tray;
        QVERIFY(tray.start());
        UtilityProcess utility(UtilityProcess::newSession());
        utility.setWorkingDirectory(scratch->path());
        utility.start({"--autostart"});
        const xcb_window_t window = utility.waitForWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(tray.waitForIcon(5000));
        QVERIFY(device({"plug"}));
        QVERIFY(x.doubleClick(tray.iconCentre()));
        QTRY_VERIFY(x.isViewable(window));
        QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
        QVERIFY(device({"unplug"}));
        QVERIFY2(waitForStatus(kNotReady), qPrintable(statusText()));
    }

    // A Wayland session with XWayland, and no platform chosen: the utility stays on X, where
    // the device messages are, though Qt could take the compositor that is there.
    void waylandSessionStillGetsTheMessages() {
        const UtilityProcess::Session session = UtilityProcess::newSession();
        QProcess compositor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", session.runtime->path());
        compositor.setProcessEnvironment(environment);
        compositor.setStandardOutputFile(QProcess::nullDevice());
        compositor.setStandardErrorFile(QProcess::nullDevice());
        compositor.start("weston", {"--backend=headless-backend.so", "--socket=wayland-hlx-test",
                                    "--idle-time=0"});
        QVERIFY(QTest::qWaitFor(
            [&] { return QFile::exists(session.runtime->filePath("wayland-hlx-test")); }, 10000));

        UtilityProcess utility(session);
        utility.setEnvironment("QT_QPA_PLATFORM", QString());
        utility.setEnvironment("WAYLAND_DISPLAY", "wayland-hlx-test");
        utility.setEnvironment("XDG_SESSION_TYPE", "wayland");
        utility.setEnvironment("XDG_CURRENT_DESKTOP", "KDE");
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(device({"plug"}));
        QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
        QVERIFY(device({"unplug"}));
        QVERIFY(utility.isRunning());
        compositor.terminate();
        QVERIFY(compositor.waitForFinished(5000));
    }

    void gameMessagesAndOtherEventsChangeNothing() {
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(device({"monitor-added"}));
        QVERIFY2(waitForStatus(kDisplayOnly), qPrintable(statusText()));

        QVERIFY(device({"game-start", "game-alive", "game-stop"}));
        QVERIFY(sendClientMessage(window, "HLX_SOMETHING_ELSE"));
        const QRect frame = x.rootGeometry(window);
        QVERIFY(x.moveTo(frame.center()));
        QVERIFY(x.click(frame.topLeft() + QPoint(200, 150)));
        // A link message sent after them is handled, so they had their turn before it.
        QVERIFY(device({"game-alive", "hid-added"}));
        QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
        QCOMPARE(statusLabels().filter("ready").size(), 1);
        QVERIFY(device({"unplug"}));
    }

    void consoleStaysQuiet() {
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(device({"plug", "game-start", "game-alive", "game-stop", "unplug"}));
        QVERIFY2(waitForStatus(kNotReady), qPrintable(statusText()));
        // A client message nobody announced still gets the toolkit's warning: only the
        // device's own are kept off the console.
        QVERIFY(sendClientMessage(window, "HLX_SOMETHING_ELSE"));
        QByteArray errors;
        QVERIFY(QTest::qWaitFor([&] {
            errors += utility.standardError();
            return errors.contains("HLX_SOMETHING_ELSE");
        }));
        for (const QByteArray &line : errors.split('\n'))
            QVERIFY2(line.isEmpty() || line.contains("HLX_SOMETHING_ELSE") ||
                         line.contains("XDG_RUNTIME_DIR"),
                     line.constData());
    }

    void libraryLoadsOnceWhileItsBoxIsOpen() {
        const QString log = scratch->filePath("calls.log");
        UtilityProcess utility(UtilityProcess::newSession());
        utility.setEnvironment("LD_LIBRARY_PATH", HLX_FAKE_ROOT "/HLX_GetWindowMessage");
        utility.setEnvironment("HLX_FAKE_LOG", log);
        const xcb_window_t window = start(utility);
        QVERIFY(window != XCB_WINDOW_NONE);

        xcb_window_t box = XCB_WINDOW_NONE;
        QVERIFY(QTest::qWaitFor([&] { return (box = errorBox()) != XCB_WINDOW_NONE; }, 10000));
        // Native events of every kind while the box waits for an answer.
        QVERIFY(device({"plug", "unplug", "plug"}));
        QVERIFY(x.moveTo(x.rootGeometry(window).center()));
        QTest::qWait(300);
        QCOMPARE(viewableErrorBoxes(), 1);
        QVERIFY(x.sendDeleteWindow(box));
        QVERIFY(QTest::qWaitFor([&] { return viewableErrorBoxes() == 0; }, 5000));

        QVERIFY(device({"plug"}));
        QTest::qWait(300);
        QCOMPARE(viewableErrorBoxes(), 0);
        QFile calls(log);
        QVERIFY(calls.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = calls.readAll().split('\n');
        QCOMPARE(lines.count("HLX_Init"), 1);
        int handedOver = 0;
        for (const QByteArray &line : lines)
            handedOver += line.startsWith("HLX_SetDisplayCapturerPath ") ? 1 : 0;
        QCOMPARE(handedOver, 1);
        // Nothing was registered, so no message can change the display.
        QVERIFY2(waitForStatus("No VR HMD"), qPrintable(statusText()));
        QVERIFY(utility.isRunning());
        QVERIFY(device({"unplug"}));
    }

    void missingLibraryShowsTwoBoxesInTurnAndRuns() {
        // Copied alone, the utility finds no library beside itself.
        const QString program = scratch->filePath("hlx-config");
        QVERIFY(QFile::copy(HLX_CONFIG_PATH, program));
        UtilityProcess utility(UtilityProcess::newSession());
        utility.setEnvironment("LD_LIBRARY_PATH", QString());
        utility.setWorkingDirectory(scratch->path());
        utility.start({}, program);
        QVERIFY(utility.waitForShownWindow(x) != XCB_WINDOW_NONE);

        // One at a time: the second appears only once the first is answered.
        xcb_window_t previous = XCB_WINDOW_NONE;
        for (int answered = 0; answered < 2; ++answered) {
            xcb_window_t box = XCB_WINDOW_NONE;
            QVERIFY(QTest::qWaitFor([&] { return (box = errorBox()) != XCB_WINDOW_NONE; }, 10000));
            QVERIFY(box != previous);
            QCOMPARE(viewableErrorBoxes(), 1);
            QVERIFY(x.sendDeleteWindow(box));
            QVERIFY(QTest::qWaitFor([&] { return !x.isViewable(box); }, 5000));
            previous = box;
        }
        QTest::qWait(300);
        QCOMPARE(viewableErrorBoxes(), 0);
        QVERIFY(utility.isRunning());
        QVERIFY(QFile::exists(scratch->filePath("UserSetting.ini")));
    }

    void copiedTogetherRunsAndSearchPathComesFirst() {
        // The program and its library copied to a folder of their own: the library beside
        // the program is found, and no library in the working directory is even tried.
        const QString folder = scratch->filePath("copy");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(HLX_CONFIG_PATH, folder + "/hlx-config"));
        QVERIFY(QFile::copy(HLX_BIN_DIR "/libHLX.so", folder + "/libHLX.so"));
        const QString log = scratch->filePath("calls.log");
        const QString fakeDir = scratch->filePath("fake");
        QVERIFY(QDir().mkpath(fakeDir));
        QVERIFY(QFile::copy(HLX_FAKE_ROOT "/all/libHLX.so", fakeDir + "/libHLX.so"));
        const QString brokenQt = fakeDir + "/libQt5Core.so.5";
        QVERIFY(QFile(brokenQt).open(QIODevice::WriteOnly));

        {
            UtilityProcess utility(UtilityProcess::newSession());
            utility.setEnvironment("LD_LIBRARY_PATH", QString());
            utility.setEnvironment("HLX_FAKE_LOG", log);
            utility.setWorkingDirectory(fakeDir);
            utility.start({}, folder + "/hlx-config");
            QVERIFY(utility.waitForShownWindow(x) != XCB_WINDOW_NONE);
            QVERIFY(device({"plug"}));
            QVERIFY2(waitForStatus(kBothReady), qPrintable(statusText()));
            QVERIFY(!QFile::exists(log));
            QCOMPARE(viewableErrorBoxes(), 0);
            QVERIFY(device({"unplug"}));
        }
        QVERIFY(QFile::remove(brokenQt));
        {
            UtilityProcess utility(UtilityProcess::newSession());
            utility.setEnvironment("LD_LIBRARY_PATH", fakeDir);
            utility.setEnvironment("HLX_FAKE_LOG", log);
            utility.start({}, folder + "/hlx-config");
            QVERIFY(utility.waitForShownWindow(x) != XCB_WINDOW_NONE);
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(log); }, 10000));
        }
    }

    // What a desktop at 100, 125, 150 and 200 % sets for X programs, and a scale the user chose
    // for Qt programs: the window grows as a whole and stays fixed in size, its buttons stay
    // inside it, every text fits its label, and at 200 % the pictures come from their 2x
    // images. A screenshot of each desktop scale is left in the build's Testing/screenshots,
    // beside CTest's own records.
    void formIsWholeAtEveryScale() {
        const auto withoutResources = qScopeGuard([this] { x.setResources({}); });
        QVERIFY(QDir().mkpath(HLX_SCREENSHOT_DIR));
        QHash<QString, int> widthAt100;
        const struct {
            int dpi;
            QString userScale;
            double desktopScale;
        } rows[] = {
            {96, {}, 1.0}, {120, {}, 1.25}, {144, {}, 1.5}, {192, {}, 2.0}, {96, "1.5", 1.5}};
        for (const auto &scaling : rows) {
            const int dpi = scaling.dpi;
            const double desktopScale = scaling.desktopScale;
            const QByteArray row = "Xft.dpi " + QByteArray::number(dpi) + ", QT_SCALE_FACTOR " +
                                   scaling.userScale.toUtf8() + ": ";
            QVERIFY(x.setResources("Xft.dpi:\t" + QByteArray::number(dpi) + "\n"));
            UtilityProcess utility(UtilityProcess::newSession());
            utility.setEnvironment("QT_SCALE_FACTOR", scaling.userScale);
            const xcb_window_t window = start(utility);
            QVERIFY(window != XCB_WINDOW_NONE);
            QVERIFY2(waitForStatus("No VR HMD"), qPrintable(statusText()));

            const QRect frame = x.rootGeometry(window);
            QVERIFY2(qAbs(frame.width() - 400 * desktopScale) <= 1 &&
                         qAbs(frame.height() - 490 * desktopScale) <= 1,
                     row + QByteArray::number(frame.width()) + "x" +
                         QByteArray::number(frame.height()));
            QCOMPARE(x.sizeHints(window), qMakePair(frame.size(), frame.size()));
            const QRect form = reader.windowExtents();
            // The utility's own scale maps its layout onto the screen's pixels.
            const double scale = double(frame.width()) / form.width();
            for (const char *button : {"ShowDemo", "Close"}) {
                const QRect extents = reader.windowExtents(Role::PushButton, button);
                QVERIFY2(extents.isValid() && form.contains(extents), row + button);
            }
            const auto onScreen = [&](const QRect &extents) {
                return QRect(frame.topLeft() + (extents.topLeft() - form.topLeft()) * scale,
                             extents.size() * scale);
            };
            const auto grab = [&](const QRect &area) {
                return QGuiApplication::primaryScreen()
                    ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                    .toImage();
            };
            // Inside its label with room to spare on every side, and as wide as at 100 %
            // grown by the scale: a text cut by its label fails one or the other.
            const auto fits = [&](const QString &text, bool (*isInk)(QRgb), bool centred) {
                const QImage shot = grab(onScreen(reader.windowExtents(Role::Label, text)));
                const QRect ink = inkBox(shot, isInk);
                const int leftRoom = ink.left();
                const int rightRoom = shot.width() - 1 - ink.right();
                if (desktopScale == 1.0)
                    widthAt100[text] = ink.width();
                const bool whole = !ink.isNull() && leftRoom >= 0 && rightRoom >= 0 &&
                                   ink.top() > 0 && ink.bottom() < shot.height() - 1 &&
                                   (!centred || qAbs(leftRoom - rightRoom) <= 1 + scale) &&
                                   ink.width() >= 0.9 * desktopScale * widthAt100.value(text);
                return whole ? QByteArray()
                             : row + text.toUtf8() + " ink " + QByteArray::number(ink.left()) +
                                   ".." + QByteArray::number(ink.right()) + " in " +
                                   QByteArray::number(shot.width()) + " columns";
            };
            QTest::qWait(300);
            const QByteArray heading = fits("Device", isDarkInk, false);
            QVERIFY2(heading.isEmpty(), heading.constData());

            const QPair<QString, QString> steps[] = {{"monitor-added", kDisplayOnly},
                                                     {"hid-added", kBothReady},
                                                     {"monitor-removed", kUsbOnly},
                                                     {"hid-removed", kNotReady}};
            for (const auto &step : steps) {
                QVERIFY(device({step.first}));
                QVERIFY2(waitForStatus(step.second), qPrintable(statusText()));
                QTest::qWait(300);
                const QByteArray sentence = fits(step.second, isColouredInk, true);
                QVERIFY2(sentence.isEmpty(), sentence.constData());
                if (step.second == kDisplayOnly && scaling.userScale.isEmpty()) {
                    const QString file =
                        QString(HLX_SCREENSHOT_DIR "/hlx-config-%1.png").arg(dpi * 100 / 96);
                    QVERIFY(grab(frame).save(file));
                }
                if (dpi != 192 || (step.second != kDisplayOnly && step.second != kBothReady))
                    continue;
                const bool logo = step.second == kBothReady;
                const QString name = logo ? "vnlogo" : "NoHMD";
                const QImage sharp(HLX_IMAGES_DIR "/" + name + "@2x.png");
                const QImage stretched =
                    QImage(HLX_IMAGES_DIR "/" + name + ".png")
                        .scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                // The label centres its picture.
                const QRect label = onScreen(reader.windowExtents(Role::Image, QString()));
                const QSize margin = (label.size() - sharp.size()) / 2;
                const QImage shot = grab(
                    QRect(label.topLeft() + QPoint(margin.width(), margin.height()), sharp.size()));
                const double toSharp = pictureDistance(shot, sharp);
                const double toStretched = pictureDistance(shot, stretched);
                qInfo("%s at 200 %%: %.2f from the 2x image, %.2f from the 1x one stretched",
                      qPrintable(name), toSharp, toStretched);
                // The two references must be told apart for the first check to mean anything.
                QVERIFY2(toSharp < 0.5 && toStretched > 1, qPrintable(name));
            }
        }
    }

private:
    xcb_window_t start(UtilityProcess &utility) {
        utility.setWorkingDirectory(scratch->path());
        utility.start();
        return utility.waitForShownWindow(x);
    }

    static bool device(const QStringList &commands) {
        return QProcess::execute(QStringLiteral(HLX_BIN_DIR "/hlx-device"), commands) == 0;
    }

    bool sendClientMessage(xcb_window_t window, const QByteArray &type) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = connection.atom(type);
        xcb_send_event(connection.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&event));
        return connection.sync();
    }

    // A top-level window of this process, marked as toolkits mark their windows.
    xcb_window_t otherProgramsWindow() {
        const xcb_window_t window = xcb_generate_id(connection.get());
        xcb_create_window(connection.get(), XCB_COPY_FROM_PARENT, window, connection.root(), 0, 0,
                          50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0,
                          nullptr);
        const quint32 pid = quint32(QCoreApplication::applicationPid());
        xcb_change_property(connection.get(), XCB_PROP_MODE_REPLACE, window,
                            connection.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        return connection.sync() ? window : xcb_window_t(XCB_WINDOW_NONE);
    }

    // The device link messages that windows of this test's own connection have got.
    int deviceMessagesReceived() {
        connection.sync();
        int received = 0;
        while (xcb_generic_event_t *event = xcb_poll_for_queued_event(connection.get())) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
                received += message->type == connection.atom("WM_VORN_MONITOR_ADDED") ||
                                    message->type == connection.atom("WM_VORN_HID_ADDED")
                                ? 1
                                : 0;
            }
            std::free(event);
        }
        return received;
    }

    // Qt may keep the X window of a box that was answered, so only shown ones count.
    std::vector<xcb_window_t> shownErrorBoxes() {
        std::vector<xcb_window_t> shown;
        for (xcb_window_t box : x.findTopLevels("hlx-config", "Error")) {
            if (x.isViewable(box))
                shown.push_back(box);
        }
        return shown;
    }
    int viewableErrorBoxes() { return int(shownErrorBoxes().size()); }
    xcb_window_t errorBox() {
        const std::vector<xcb_window_t> shown = shownErrorBoxes();
        return shown.empty() ? xcb_window_t(XCB_WINDOW_NONE) : shown.front();
    }

    QStringList statusLabels() { return reader.windowLabels(); }
    QString statusText() { return statusLabels().join(" | "); }
    bool waitForStatus(const QString &text) { return reader.waitForWindowLabel(text); }

    // A horizontal band of the window as it is on the screen.
    QImage band(xcb_window_t window, int top, int bottom) {
        const QRect frame = x.rootGeometry(window);
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, frame.x(), frame.y() + top, frame.width(), bottom - top)
            .toImage();
    }

    // Whether the status text is drawn in pure green, and whether in pure red.
    QPair<int, int> statusColours(xcb_window_t window) {
        const QImage shot = band(window, kStatusTop, kStatusBottom);
        bool green = false;
        bool red = false;
        for (int yy = 0; yy < shot.height(); ++yy) {
            for (int xx = 0; xx < shot.width(); ++xx) {
                const QRgb pixel = shot.pixel(xx, yy) & 0xffffff;
                green = green || pixel == 0x00ff00;
                red = red || pixel == 0xff0000;
            }
        }
        return qMakePair(int(green), int(red));
    }

    ScreenReader reader;
    QScopedPointer<QTemporaryDir> scratch;
    testsupport::X11Client x;
    testsupport::XcbConnection connection;
};

QTEST_MAIN(DeviceLinkTest)
#include "tst_devicelink.moc"
