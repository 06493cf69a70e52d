#include "DeviceLibrary.h"
#include "MainWindow.h"
#include "TrayHost.h"
#include "XcbConnection.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <xcb/xcb.h>

// The window's native filter in this process, against the stand-in device library, so the
// message numbers are the display's real atoms. Events are either built here and handed
// straight to the filter, or sent through the X server by the stand-in device side.
class NativeFilterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(workDir.isValid());
        QVERIFY(QDir::setCurrent(workDir.path()));
        QVERIFY(x.isValid());
        window.reset(new MainWindow);
    }

    void otherEventTypesAreLeftAlone() {
        long result = 1234;
        xcb_client_message_event_t event = clientMessage(x.atom("WM_VORN_MONITOR_ADDED"));
        for (const char *type : {"windows_generic_MSG", "windows_dispatcher_MSG", "xcb", ""}) {
            QVERIFY(!window->nativeEventFilter(type, &event, &result));
            QCOMPARE(result, 1234L);
        }
        // The device library was not loaded: it would have recorded the capturer's path.
        QVERIFY(!QFile::exists(workDir.filePath("UserSetting.ini")));
        QCOMPARE(DeviceLibrary::messageId(MonitorAdded), 0u);
        QCOMPARE(status()->text(), QString("No VR HMD"));
    }

    void anyX11EventLoadsTheLibrary() {
        xcb_generic_event_t expose{};
        expose.response_type = XCB_EXPOSE;
        long result = 1234;
        QVERIFY(!window->nativeEventFilter("xcb_generic_event_t", &expose, &result));
        QCOMPARE(result, 1234L);
        QVERIFY(QFile::exists(workDir.filePath("UserSetting.ini")));
        for (int index = 0; index < kDeviceMessageCount; ++index)
            QCOMPARE(DeviceLibrary::messageId(index), x.atom(kDeviceMessageNames[index]));
        // Not a device message, though it was the first event.
        QCOMPARE(status()->text(), QString("No VR HMD"));
    }

    void deviceMessagesSetTheLinks() {
        QVERIFY(deliver(MonitorAdded));
        QCOMPARE(status()->text(), QString("HDMI is ready and USB is not ready"));
        QVERIFY(deliver(HidAdded));
        QCOMPARE(status()->text(), QString("both HDMI and USB are ready"));
        QCOMPARE(status()->palette().color(QPalette::WindowText), QColor(Qt::green));
        const QImage logo = picture();
        QVERIFY(deliver(MonitorRemoved));
        QCOMPARE(status()->text(), QString("HDMI is not ready and USB is ready"));
        QCOMPARE(status()->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(picture(),
                 QImage(":/new/icon/imges/NoHMD.png").convertToFormat(picture().format()));
        QVERIFY(picture() != logo);
        QVERIFY(deliver(HidRemoved));
        QCOMPARE(status()->text(), QString("both HDMI and USB are not ready"));
    }

    void repeatedMessagesRedrawEachTime() {
        QVERIFY(deliver(MonitorAdded));
        const QImage look = window->grab().toImage();
        QVERIFY2(deliver(MonitorAdded), "a repeated message redraws");
        QCOMPARE(window->grab().toImage(), look);
        QVERIFY(deliver(MonitorRemoved));
        QVERIFY2(deliver(MonitorRemoved), "removing an absent link redraws too");
        QCOMPARE(status()->text(), QString("both HDMI and USB are not ready"));
    }

    void ignoredMessagesChangeNothing_data() {
        QTest::addColumn<QByteArray>("atomName");
        QTest::newRow("game start") << QByteArray("WM_GAME_START");
        QTest::newRow("game stop") << QByteArray("WM_GAME_STOP");
        QTest::newRow("game alive") << QByteArray("WM_GAME_ALIVE");
        QTest::newRow("unrelated") << QByteArray("WM_PROTOCOLS");
        QTest::newRow("near miss") << QByteArray("WM_VORN_HID_ADDED ");
    }

    void ignoredMessagesChangeNothing() {
        QFETCH(QByteArray, atomName);
        QVERIFY(deliver(HidAdded));
        const QString text = status()->text();
        xcb_client_message_event_t event = clientMessage(x.atom(atomName));
        QVERIFY(!handOver(event));
        QCOMPARE(status()->text(), text);
    }

    void onlyClientMessagesCarryANumber() {
        QVERIFY(deliver(HidRemoved));
        // Any other event whose bytes sit where a client message keeps its type.
        xcb_client_message_event_t lookalike = clientMessage(x.atom("WM_VORN_HID_ADDED"));
        lookalike.response_type = XCB_PROPERTY_NOTIFY;
        QVERIFY(!handOver(lookalike));
        QCOMPARE(status()->text(), QString("both HDMI and USB are not ready"));
    }

    void sentBitAndDataDoNotMatter() {
        xcb_client_message_event_t fromServer = clientMessage(x.atom("WM_VORN_HID_ADDED"));
        fromServer.response_type = XCB_CLIENT_MESSAGE;
        fromServer.data.data32[0] = 0xdeadbeef;
        fromServer.window = 42;
        QVERIFY(handOver(fromServer));
        QCOMPARE(status()->text(), QString("HDMI is not ready and USB is ready"));
        QVERIFY(deliver(HidRemoved));
    }

    // From here on the filter is installed and the device side is another process.
    void followsTheDeviceSide() {
        qApp->installNativeEventFilter(window.data());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
        QVERIFY(device({"plug"}));
        QTRY_COMPARE(status()->text(), QString("both HDMI and USB are ready"));
        QVERIFY(device({"unplug"}));
        QTRY_COMPARE(status()->text(), QString("both HDMI and USB are not ready"));
    }

    // Closed to a tray: hidden, not only minimised.
    void followsWhileHidden() {
        testsupport::TrayHost tray;
        QVERIFY(tray.start());
        window->close();
        QVERIFY(!window->isVisible());
        QVERIFY(device({"monitor-added"}));
        QTRY_COMPARE(status()->text(), QString("HDMI is ready and USB is not ready"));
        QVERIFY(device({"monitor-removed"}));
        QTRY_COMPARE(status()->text(), QString("both HDMI and USB are not ready"));
        window->show();
    }

    void followsWhileAModalBoxIsOpen() {
        QMessageBox box(QMessageBox::Warning, "busy", "a box of another part", QMessageBox::Ok);
        QString seenWhileOpen;
        QTimer poll;
        QElapsedTimer clock;
        connect(&poll, &QTimer::timeout, [&] {
            if (!box.isVisible())
                return;
            if (!clock.isValid()) {
                clock.start();
                QVERIFY(device({"plug"}));
            }
            if (status()->text() == "both HDMI and USB are ready" || clock.elapsed() > 5000) {
                seenWhileOpen = status()->text();
                box.done(QMessageBox::Ok);
            }
        });
        poll.start(10);
        box.exec();
        QCOMPARE(seenWhileOpen, QString("both HDMI and USB are ready"));
        QVERIFY(device({"unplug"}));
        QTRY_COMPARE(status()->text(), QString("both HDMI and USB are not ready"));
    }

    void gameMessagesFromTheDeviceSideChangeNothing() {
        QVERIFY(device({"hid-added", "game-start", "game-alive", "game-stop"}));
        QTRY_COMPARE(status()->text(), QString("HDMI is not ready and USB is ready"));
        const qint64 drawn =
            window->findChild<QLabel *>("label_image_HMD")->pixmap(Qt::ReturnByValue).cacheKey();
        QVERIFY(device({"game-start", "game-alive", "game-stop"}));
        QTest::qWait(200);
        QCOMPARE(
            window->findChild<QLabel *>("label_image_HMD")->pixmap(Qt::ReturnByValue).cacheKey(),
            drawn);
        QVERIFY(device({"unplug"}));
    }

    void cleanupTestCase() {
        window.reset();
        QDir::setCurrent(QDir::tempPath());
    }

private:
    QLabel *status() const { return window->findChild<QLabel *>("label_HMD_State"); }
    QImage picture() const {
        return window->findChild<QLabel *>("label_image_HMD")->pixmap(Qt::ReturnByValue).toImage();
    }

    static xcb_client_message_event_t clientMessage(xcb_atom_t type) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE | 0x80;
        event.format = 32;
        event.type = type;
        return event;
    }

    // True when the window redrew its picture; the filter must never consume the event.
    bool handOver(xcb_client_message_event_t &event) {
        auto *image = window->findChild<QLabel *>("label_image_HMD");
        const qint64 before = image->pixmap(Qt::ReturnByValue).cacheKey();
        long result = 1234;
        if (window->nativeEventFilter("xcb_generic_event_t", &event, &result) || result != 1234)
            return false;
        return image->pixmap(Qt::ReturnByValue).cacheKey() != before;
    }

    bool deliver(DeviceMessage message) {
        xcb_client_message_event_t event = clientMessage(DeviceLibrary::messageId(message));
        return handOver(event);
    }

    static bool device(const QStringList &commands) {
        return QProcess::execute(QStringLiteral(HLX_BIN_DIR "/hlx-device"), commands) == 0;
    }

    QTemporaryDir workDir;
    testsupport::XcbConnection x;
    QScopedPointer<MainWindow> window;
};

QTEST_MAIN(NativeFilterTest)
#include "tst_nativefilter.moc"
