#include "TrayHost.h"
#include "X11Client.h"
#include "XvfbServer.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

#include <X11/keysym.h>

#include <algorithm>
#include <vector>

using testsupport::TrayHost;
using testsupport::X11Client;
using testsupport::XvfbServer;

namespace {

const QByteArray appClass = "HlxSupportTest";

using Windows = std::vector<xcb_window_t>;

xcb_window_t windowOf(const QWidget &widget) {
    return static_cast<xcb_window_t>(widget.winId());
}

bool contains(const Windows &windows, xcb_window_t window) {
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

std::ptrdiff_t indexOf(const Windows &windows, xcb_window_t window) {
    return std::find(windows.begin(), windows.end(), window) - windows.begin();
}

class CloseEventCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Close)
            ++count;
        return false;
    }
};

} // namespace

class TestX11Support : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void findsWindowsByClassAndTitleOnly();
    void sizeHintsComeFromTheWindow();
    void stackingOrderRunsBottomToTop();
    void clickLandsOnTheButtonUnderThePointer();
    void keysReachTheFocusedWindow();
    void deleteWindowDeliversCloseEvent();
    void watchCountsOnlyOtherClientsWindows();
    void trayIconDocksAndAnswersClicks();
    void secondDisplayIsIndependentAndStopsWithItsServer();
};

void TestX11Support::initTestCase() {
    // Must precede the first window: Qt fixes WM_CLASS when it creates one.
    QCoreApplication::setApplicationName(QString::fromLatin1(appClass));
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(!qEnvironmentVariableIsEmpty("DISPLAY"));
    QVERIFY(!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"));
    QVERIFY(X11Client().isConnected());
}

void TestX11Support::findsWindowsByClassAndTitleOnly() {
    X11Client client;
    QWidget shown;
    shown.setWindowTitle(QStringLiteral("Shown window"));
    shown.setGeometry(100, 120, 300, 200);
    shown.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown));
    QWidget hidden;
    hidden.setWindowTitle(QStringLiteral("Hidden window"));
    hidden.winId();
    const xcb_window_t sameClass = client.createTopLevel(
        "decoy", appClass, QStringLiteral("Decoy window"), QRect(50, 50, 80, 60), true);
    const xcb_window_t sameTitle = client.createTopLevel(
        "decoy", "OtherProgram", QStringLiteral("Shown window"), QRect(60, 60, 80, 60), true);
    QVERIFY(sameClass != XCB_NONE);
    QVERIFY(sameTitle != XCB_NONE);

    QCOMPARE(client.findTopLevels(appClass, QStringLiteral("Shown window")),
             Windows{windowOf(shown)});
    QCOMPARE(client.findTopLevels(appClass, QStringLiteral("Hidden window")),
             Windows{windowOf(hidden)});
    QCOMPARE(client.findTopLevels(appClass, QStringLiteral("Decoy window")), Windows{sameClass});
    QCOMPARE(client.findTopLevels("OtherProgram", QStringLiteral("Shown window")),
             Windows{sameTitle});
    QVERIFY(client.findTopLevels(appClass, QStringLiteral("No such window")).empty());
    const Windows anyTitle = client.findTopLevels(appClass, QString());
    QVERIFY(contains(anyTitle, windowOf(shown)));
    QVERIFY(contains(anyTitle, windowOf(hidden)));
    QVERIFY(contains(anyTitle, sameClass));
    QVERIFY(!contains(anyTitle, sameTitle));

    QVERIFY(client.isViewable(windowOf(shown)));
    QVERIFY(!client.isViewable(windowOf(hidden)));
    QCOMPARE(client.title(windowOf(shown)), QStringLiteral("Shown window"));
    QCOMPARE(client.rootGeometry(windowOf(shown)), QRect(100, 120, 300, 200));

    QVERIFY(client.destroyWindow(sameClass));
    QVERIFY(client.findTopLevels(appClass, QStringLiteral("Decoy window")).empty());
    QVERIFY(!client.rootGeometry(sameClass).isValid());
}

void TestX11Support::sizeHintsComeFromTheWindow() {
    X11Client client;
    QWidget fixed;
    fixed.setFixedSize(321, 234);
    fixed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fixed));
    QWidget growable;
    growable.setMinimumSize(150, 100);
    growable.show();
    QVERIFY(QTest::qWaitForWindowExposed(&growable));
    const xcb_window_t decoy = client.createTopLevel("decoy", "Decoy", QStringLiteral("No hints"),
                                                     QRect(0, 0, 50, 50), false);

    QCOMPARE(client.sizeHints(windowOf(fixed)), qMakePair(QSize(321, 234), QSize(321, 234)));
    QCOMPARE(client.sizeHints(windowOf(growable)), qMakePair(QSize(150, 100), QSize()));
    QCOMPARE(client.sizeHints(decoy), qMakePair(QSize(), QSize()));
}

void TestX11Support::stackingOrderRunsBottomToTop() {
    X11Client client;
    QWidget widget;
    widget.setWindowTitle(QStringLiteral("Raised window"));
    widget.setGeometry(100, 100, 200, 100);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    const xcb_window_t lower =
        client.createTopLevel("decoy", "Decoy", QStringLiteral("Lower"), QRect(0, 0, 50, 50), true);
    const xcb_window_t upper =
        client.createTopLevel("decoy", "Decoy", QStringLiteral("Upper"), QRect(0, 0, 50, 50), true);

    const Windows before = client.rootStackingOrder();
    QVERIFY(contains(before, lower));
    QVERIFY(indexOf(before, windowOf(widget)) < indexOf(before, lower));
    QVERIFY(indexOf(before, lower) < indexOf(before, upper));
    QCOMPARE(before.back(), upper);

    widget.raise();
    QTRY_COMPARE(client.rootStackingOrder().back(), windowOf(widget));
}

void TestX11Support::clickLandsOnTheButtonUnderThePointer() {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Buttons"));
    window.setGeometry(200, 200, 260, 100);
    QPushButton left(QStringLiteral("Left"), &window);
    left.setGeometry(10, 10, 110, 80);
    QPushButton right(QStringLiteral("Right"), &window);
    right.setGeometry(140, 10, 110, 80);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy leftClicked(&left, &QPushButton::clicked);
    QSignalSpy rightClicked(&right, &QPushButton::clicked);

    X11Client client;
    const QRect onRoot = client.rootGeometry(windowOf(window));
    QVERIFY(onRoot.isValid());
    QVERIFY(client.click(onRoot.topLeft() + right.geometry().center()));
    QTRY_COMPARE(rightClicked.count(), 1);
    QCOMPARE(leftClicked.count(), 0);
}

void TestX11Support::keysReachTheFocusedWindow() {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Typing"));
    window.setGeometry(200, 200, 200, 60);
    QLineEdit edit(&window);
    edit.setGeometry(10, 10, 180, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    edit.setFocus();

    X11Client client;
    QVERIFY(client.setInputFocus(windowOf(window)));
    QCOMPARE(client.inputFocus(), windowOf(window));
    QTRY_VERIFY(window.isActiveWindow());
    // Lower case, a Shift letter and a Shift symbol.
    QVERIFY(client.pressKey(XK_h));
    QVERIFY(client.pressKey(XK_I));
    QVERIFY(client.pressKey(XK_exclam));
    QTRY_COMPARE(edit.text(), QStringLiteral("hI!"));
}

void TestX11Support::deleteWindowDeliversCloseEvent() {
    QWidget window;
    window.setWindowTitle(QStringLiteral("Closable"));
    window.setGeometry(200, 200, 200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CloseEventCounter closeEvents;
    window.installEventFilter(&closeEvents);

    X11Client client;
    QVERIFY(client.sendDeleteWindow(windowOf(window)));
    QTRY_COMPARE(closeEvents.count, 1);
    QTRY_VERIFY(!client.isViewable(windowOf(window)));
    QVERIFY(!window.isVisible());
}

void TestX11Support::watchCountsOnlyOtherClientsWindows() {
    X11Client watcher;
    X11Client other;
    QVERIFY(watcher.startWatchingRoot());
    QCOMPARE(watcher.countCreatedWindows(), 0);
    QCOMPARE(watcher.countMappedWindows(), 0);

    QVERIFY(other.createTopLevel("other", "Other", QStringLiteral("Unmapped"), QRect(0, 0, 9, 9),
                                 false) != XCB_NONE);
    QCOMPARE(watcher.countCreatedWindows(), 1);
    QCOMPARE(watcher.countMappedWindows(), 0);
    QVERIFY(other.createTopLevel("other", "Other", QStringLiteral("Mapped"), QRect(0, 0, 9, 9),
                                 true) != XCB_NONE);
    QCOMPARE(watcher.countCreatedWindows(), 2);
    QCOMPARE(watcher.countMappedWindows(), 1);
    QVERIFY(watcher.createTopLevel("own", "Own", QStringLiteral("Own"), QRect(0, 0, 9, 9), true) !=
            XCB_NONE);
    QCOMPARE(watcher.countCreatedWindows(), 2);
    QCOMPARE(watcher.countMappedWindows(), 1);

    QWidget widget;
    widget.setWindowTitle(QStringLiteral("Watched"));
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QCOMPARE(watcher.countCreatedWindows(), 3);
    QCOMPARE(watcher.countMappedWindows(), 2);

    QVERIFY(watcher.startWatchingRoot());
    QCOMPARE(watcher.countCreatedWindows(), 0);
    QCOMPARE(watcher.countMappedWindows(), 0);
}

void TestX11Support::trayIconDocksAndAnswersClicks() {
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    TrayHost tray;
    QVERIFY(tray.start());
    QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::red);
    QMenu menu;
    menu.addAction(QStringLiteral("Entry"));
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.setContextMenu(&menu);
    // Recorded by hand: QSignalSpy cannot store an unregistered enum.
    QList<QSystemTrayIcon::ActivationReason> activations;
    QObject::connect(
        &icon, &QSystemTrayIcon::activated,
        [&activations](QSystemTrayIcon::ActivationReason reason) { activations << reason; });
    X11Client client;
    QVERIFY(client.startWatchingRoot());
    icon.show();

    // Only the event loop runs here, so docking shows that the tray answers on its own.
    QTRY_COMPARE(tray.dockedIcons().size(), size_t(1));
    const xcb_window_t iconWindow = tray.dockedIcons().front();
    // More than one would mean Qt tore its icon down and docked it again.
    QCOMPARE(client.countCreatedWindows(), 1);
    QVERIFY(contains(client.findTopLevels(appClass, QString()), iconWindow));
    QVERIFY(tray.waitForIcon(5000));
    QVERIFY(client.isViewable(iconWindow));
    const QPoint centre = tray.iconCentre();
    QVERIFY(TrayHost::area.contains(centre));
    QVERIFY(client.rootGeometry(iconWindow).contains(centre));
    QVERIFY(tray.iconCentre(1).isNull());

    QVERIFY(client.click(centre));
    QTRY_VERIFY(activations.contains(QSystemTrayIcon::Trigger));
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QVERIFY(!activations.contains(QSystemTrayIcon::DoubleClick));

    QVERIFY(client.doubleClick(centre));
    QTRY_VERIFY(activations.contains(QSystemTrayIcon::DoubleClick));

    QVERIFY(!menu.isVisible());
    QVERIFY(client.click(centre, 3));
    QTRY_VERIFY(menu.isVisible());
    QVERIFY(client.isViewable(windowOf(menu)));
    // Releases the popup's pointer grab, which would swallow later clicks.
    menu.hide();
}

void TestX11Support::secondDisplayIsIndependentAndStopsWithItsServer() {
    QString secondDisplay;
    {
        XvfbServer server;
        QVERIFY(server.start());
        secondDisplay = server.displayName();
        QVERIFY(secondDisplay.startsWith(QLatin1Char(':')));
        QVERIFY(secondDisplay != qEnvironmentVariable("DISPLAY"));

        X11Client here;
        X11Client there(secondDisplay);
        QVERIFY(there.isConnected());
        QWidget local;
        local.setWindowTitle(QStringLiteral("Only here"));
        local.show();
        QVERIFY(QTest::qWaitForWindowExposed(&local));
        const xcb_window_t remote = there.createTopLevel(
            "remote", appClass, QStringLiteral("Only there"), QRect(10, 10, 50, 50), true);
        QVERIFY(remote != XCB_NONE);

        QCOMPARE(there.findTopLevels(appClass, QStringLiteral("Only there")), Windows{remote});
        QVERIFY(there.findTopLevels(appClass, QStringLiteral("Only here")).empty());
        QCOMPARE(here.findTopLevels(appClass, QStringLiteral("Only here")),
                 Windows{windowOf(local)});
        QVERIFY(here.findTopLevels(appClass, QStringLiteral("Only there")).empty());
    }
    QVERIFY(!X11Client(secondDisplay).isConnected());
}

QTEST_MAIN(TestX11Support)
#include "tst_x11support.moc"
