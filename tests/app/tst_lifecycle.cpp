#include "MainWindow.h"
#include "TrayHost.h"
#include "TrayMenu.h"
#include "UtilityProcess.h"
#include "X11Client.h"
#include "XvfbServer.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <algorithm>

// How the built utility ends and how it lives on in the tray, driven from outside through
// the X server as a person would. Where a control sits is measured on a window of the same
// build in this process, which lays out exactly as the utility's does.
class LifecycleTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(tray.start());
        {
            MainWindow reference;
            reference.show();
            QVERIFY(QTest::qWaitForWindowExposed(&reference));
            auto *close = reference.findChild<QPushButton *>("btnClose");
            closeButtonOffset = close->mapTo(&reference, close->rect().center());
        }

        TrayMenu menu(nullptr);
        menu.adjustSize();
        for (QAction *entry : menu.actions())
            menuEntryOffsets.insert(entry->text(), menu.actionGeometry(entry).center());
        QTRY_VERIFY(tray.dockedIcons().empty());
    }

    void closeButtonEndsWithZero() {
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = startShown(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        x.click(x.rootGeometry(window).topLeft() + closeButtonOffset);
        QVERIFY(utility.waitForExit(5000));
        QCOMPARE(utility.exitStatus(), QProcess::NormalExit);
        QCOMPARE(utility.exitCode(), 0);
    }

    void closeRequestHidesAndLivesInTheTray() {
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = startShown(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(UtilityProcess::closeToTray(x, window));
        QTest::qWait(500);
        QVERIFY(utility.isRunning());
        QCOMPARE(int(tray.dockedIcons().size()), 1);

        x.doubleClick(tray.iconCentre());
        QTRY_VERIFY(x.isViewable(window));
    }

    void trayOpenShowsTheWindowAgain() {
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = startShown(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(UtilityProcess::closeToTray(x, window));
        choose("open", window);
        QTRY_VERIFY(x.isViewable(window));
        QVERIFY(utility.isRunning());
    }

    void trayExitEndsWithZero_data() {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("window shown") << false;
        QTest::newRow("window hidden") << true;
    }

    void trayExitEndsWithZero() {
        QFETCH(bool, hidden);
        UtilityProcess utility(UtilityProcess::newSession());
        const xcb_window_t window = startShown(utility);
        QVERIFY(window != XCB_WINDOW_NONE);
        if (hidden)
            QVERIFY(UtilityProcess::closeToTray(x, window));
        choose("exit", window);
        QVERIFY(utility.waitForExit(5000));
        QCOMPARE(utility.exitStatus(), QProcess::NormalExit);
        QCOMPARE(utility.exitCode(), 0);
        QTRY_VERIFY(tray.dockedIcons().empty());
    }

    // Started at login with a tray: the window exists, for the device messages and a second
    // start, but only the icon shows.
    void autostartGoesStraightToTheTray() {
        UtilityProcess utility(UtilityProcess::newSession());
        utility.start({"--autostart"});
        const xcb_window_t window = utility.waitForWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(tray.waitForIcon(5000));
        QTest::qWait(300);
        QVERIFY(!x.isViewable(window));
        x.doubleClick(tray.iconCentre());
        QTRY_VERIFY(x.isViewable(window));
    }

    // A display without a tray, as plain GNOME is: the utility must stay reachable.
    void withoutTrayAutostartShowsMinimised() {
        testsupport::XvfbServer desktop;
        QVERIFY(desktop.start());
        testsupport::X11Client there(desktop.displayName());
        UtilityProcess utility(UtilityProcess::newSession(desktop.displayName()));
        utility.start({"--autostart"});
        const xcb_window_t window = utility.waitForShownWindow(there);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(there.asksToBeIconic(window));
    }

    void withoutTrayCloseMinimisesUntilATrayComes() {
        testsupport::XvfbServer desktop;
        QVERIFY(desktop.start());
        testsupport::X11Client there(desktop.displayName());
        UtilityProcess utility(UtilityProcess::newSession(desktop.displayName()));
        utility.start();
        const xcb_window_t window = utility.waitForShownWindow(there);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(!there.asksToBeIconic(window));

        QVERIFY(there.sendDeleteWindow(window));
        QTRY_VERIFY(there.asksToBeIconic(window));
        QVERIFY(there.isViewable(window));
        QVERIFY(utility.isRunning());

        // The panel starts after the utility: the icon docks, and closing hides to it.
        testsupport::TrayHost panel(desktop.displayName());
        QVERIFY(panel.start());
        QVERIFY(panel.waitForIcon(10000));
        QVERIFY(UtilityProcess::closeToTray(there, window));
        there.doubleClick(panel.iconCentre());
        QTRY_VERIFY(there.isViewable(window));
    }

private:
    xcb_window_t startShown(UtilityProcess &utility) {
        utility.start();
        const xcb_window_t window = utility.waitForShownWindow(x);
        const bool ready = window != XCB_WINDOW_NONE && tray.waitForIcon(5000);
        return ready ? window : xcb_window_t(XCB_WINDOW_NONE);
    }

    // Opens the tray menu with a right click and picks the entry from the popup that appears.
    void choose(const QString &entry, xcb_window_t mainWindow) {
        x.click(tray.iconCentre(), 3);
        xcb_window_t popup = XCB_WINDOW_NONE;
        const bool opened = QTest::qWaitFor(
            [&] {
                const std::vector<xcb_window_t> &icons = tray.dockedIcons();
                for (xcb_window_t candidate : x.findTopLevels("hlx-config", QString())) {
                    const bool isIcon =
                        std::find(icons.begin(), icons.end(), candidate) != icons.end();
                    if (candidate != mainWindow && !isIcon && x.isViewable(candidate))
                        popup = candidate;
                }
                return popup != XCB_WINDOW_NONE;
            },
            5000);
        QVERIFY2(opened, "the tray menu did not open");
        QVERIFY(menuEntryOffsets.contains(entry));
        x.click(x.rootGeometry(popup).topLeft() + menuEntryOffsets.value(entry));
    }

    testsupport::TrayHost tray;
    testsupport::X11Client x;
    QPoint closeButtonOffset;
    QHash<QString, QPoint> menuEntryOffsets;
};

QTEST_MAIN(LifecycleTest)
#include "tst_lifecycle.moc"
