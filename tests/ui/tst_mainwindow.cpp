#include "MainWindow.h"
#include "TrayHost.h"
#include "X11Client.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

// The window's behaviour: the link display, closing to the tray and the slots that end or
// leave the application alone. Friend of MainWindow, to set the link flags directly.
class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        window.reset(new MainWindow);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    }

    void cleanup() { window.reset(); }

    void startsWithoutLinkState() {
        QVERIFY(!window->hdmiReady);
        QVERIFY(!window->usbReady);
        QCOMPARE(status()->text(), QString("No VR HMD"));
        QCOMPARE(picture()->text(), QString("?"));
        QVERIFY(shownPixmap().isNull());
    }

    void statusFollowsTheLinks_data() {
        QTest::addColumn<bool>("hdmi");
        QTest::addColumn<bool>("usb");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QString>("image");
        const QColor green(Qt::green);
        const QColor red(Qt::red);
        QTest::newRow("both") << true << true << "both HDMI and USB are ready" << green
                              << ":/new/icon/imges/vnlogo.png";
        QTest::newRow("display only") << true << false << "HDMI is ready and USB is not ready"
                                      << red << ":/new/icon/imges/NoHMD.png";
        QTest::newRow("usb only") << false << true << "HDMI is not ready and USB is ready" << red
                                  << ":/new/icon/imges/NoHMD.png";
        QTest::newRow("neither") << false << false << "both HDMI and USB are not ready" << red
                                 << ":/new/icon/imges/NoHMD.png";
    }

    void statusFollowsTheLinks() {
        QFETCH(bool, hdmi);
        QFETCH(bool, usb);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        QFETCH(QString, image);

        show(hdmi, usb);
        QCOMPARE(status()->text(), text);
        for (QPalette::ColorGroup group :
             {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            QCOMPARE(status()->palette().color(group, QPalette::WindowText), colour);
        QCOMPARE(status()->palette().brush(QPalette::WindowText).style(), Qt::SolidPattern);
        QCOMPARE(shownPixmap().toImage(), QPixmap::fromImage(QImage(image)).toImage());
        QCOMPARE(picture()->palette(), QPalette());

        // What reaches the screen: the status text is drawn in its colour.
        QTRY_VERIFY2(screenShowsColour(status(), colour), qPrintable(text));
    }

    void redrawingTwiceLooksTheSame() {
        show(false, true);
        const QImage first = window->grab().toImage();
        window->updateHmdState();
        QCOMPARE(status()->text(), QString("HDMI is not ready and USB is ready"));
        QCOMPARE(window->grab().toImage(), first);
    }

    void laterStateReplacesEarlier() {
        show(true, true);
        show(false, true);
        QCOMPARE(status()->text(), QString("HDMI is not ready and USB is ready"));
        QCOMPARE(status()->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(shownPixmap().size(), QSize(357, 237));
    }

    // The headset picture is transparent around the drawing, so the window shows through.
    void pictureKeepsItsTransparency() {
        show(false, false);
        const QImage picture = QImage(":/new/icon/imges/NoHMD.png");
        QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);
        const QColor background = window->palette().color(QPalette::Window);
        QTRY_COMPARE(pixelOnScreen(this->picture(), QPoint(0, 0)), background);
    }

    // With no tray to come back from, a close only minimises: the window stays reachable.
    void closeRequestWithoutTrayMinimises() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        x.sendDeleteWindow(xcb_window_t(window->winId()));
        QTRY_VERIFY(window->isMinimized());
        QVERIFY(window->isVisible());
        QVERIFY(x.isViewable(xcb_window_t(window->winId())));
        QCOMPARE(quitting.count(), 0);
    }

    // With a tray, a window manager's close (the title bar's button, Alt+F4) only hides the
    // window.
    void closeRequestHidesAndKeepsRunning() {
        testsupport::TrayHost panel;
        QVERIFY(panel.start());
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        const auto *tray = window->findChild<QSystemTrayIcon *>();
        QVERIFY(tray != nullptr);
        QVERIFY(tray->isVisible());

        x.sendDeleteWindow(xcb_window_t(window->winId()));
        QTRY_VERIFY(!window->isVisible());
        QTRY_VERIFY(!x.isViewable(xcb_window_t(window->winId())));
        QTest::qWait(100);
        QCOMPARE(quitting.count(), 0);
        QVERIFY(tray->isVisible());
        QVERIFY(!window->testAttribute(Qt::WA_DeleteOnClose));
    }

    // Entries kept for features the headset lacks: triggering them changes nothing.
    void inertActionsDoNothing_data() {
        QTest::addColumn<QString>("trigger");
        for (const char *name :
             {"actionAbout", "actionDisplayMode", "actionStopRuntime", "actionStartRuntime",
              "actionUpdateFireware", "actionDiagnoticLog", "actionDisableFirmwareWarnnings",
              "actionDisableSystemTrayNotifications"})
            QTest::newRow(name) << name;
    }

    void inertActionsDoNothing() {
        QFETCH(QString, trigger);
        const QWidgetList before = QApplication::topLevelWidgets();
        const QImage look = window->grab().toImage();
        QCOMPARE(loopCodeAfterTriggering(trigger), kLoopKeptRunning);
        QVERIFY(window->isVisible());
        QCOMPARE(QApplication::topLevelWidgets(), before);
        QCOMPARE(window->grab().toImage(), look);
    }

    // Last: once anything has asked the application to quit, Qt 5 ends every later event
    // loop of the process at once.
    void closeActionEndsTheLoopWithZero() { QCOMPARE(loopCodeAfterTriggering("actionClose"), 0); }

private:
    static constexpr int kLoopKeptRunning = 99;

    QLabel *status() const { return window->findChild<QLabel *>("label_HMD_State"); }
    QLabel *picture() const { return window->findChild<QLabel *>("label_image_HMD"); }
    QPixmap shownPixmap() const { return picture()->pixmap(Qt::ReturnByValue); }

    void show(bool hdmi, bool usb) {
        window->hdmiReady = hdmi;
        window->usbReady = usb;
        window->updateHmdState();
    }

    // Triggers the action from inside an event loop and returns the code the loop ended
    // with, or kLoopKeptRunning when nothing ended it.
    int loopCodeAfterTriggering(const QString &name) {
        QAction *action = window->findChild<QAction *>(name);
        QEventLoop loop;
        QTimer::singleShot(0, action, &QAction::trigger);
        QTimer::singleShot(300, &loop, [&loop] { loop.exit(kLoopKeptRunning); });
        return loop.exec();
    }

    QColor pixelOnScreen(QWidget *widget, const QPoint &at) const {
        const QPoint global = widget->mapToGlobal(at);
        const QImage shot =
            QGuiApplication::primaryScreen()->grabWindow(0, global.x(), global.y(), 1, 1).toImage();
        return QColor(shot.pixel(0, 0));
    }

    bool screenShowsColour(QWidget *widget, const QColor &colour) const {
        const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
        const QImage shot =
            QGuiApplication::primaryScreen()
                ->grabWindow(0, origin.x(), origin.y(), widget->width(), widget->height())
                .toImage();
        for (int yy = 0; yy < shot.height(); ++yy) {
            for (int xx = 0; xx < shot.width(); ++xx) {
                if (QColor(shot.pixel(xx, yy)) == colour)
                    return true;
            }
        }
        return false;
    }

    testsupport::X11Client x;
    QScopedPointer<MainWindow> window;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
