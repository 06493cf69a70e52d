#include "TrayHost.h"
#include "UtilityProcess.h"
#include "X11Client.h"
#include "XvfbServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

// One instance per user and display, seen from outside: real processes on a real X server.
class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        for (xcb_window_t window : otherWindows)
            x.destroyWindow(window);
        otherWindows.clear();
        tray.reset();
    }

    void secondStartBringsTheFirstForward() {
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess first(session);
        first.start();
        const xcb_window_t window = first.waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        focusOtherProgram();
        x.startWatchingRoot();

        UtilityProcess second(session);
        second.start();
        QVERIFY(second.waitForExit(2000));
        QVERIFY2(second.msecsSinceStart() < 2000,
                 qPrintable(QString::number(second.msecsSinceStart())));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(x.countCreatedWindows(), 0);
        QCOMPARE(x.countMappedWindows(), 0);

        QVERIFY(first.isRunning());
        QCOMPARE(x.inputFocus(), window);
        QCOMPARE(x.rootStackingOrder().back(), window);
    }

    void hiddenWindowStaysHidden() {
        QVERIFY(startTray());
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess first(session);
        const xcb_window_t window = startAndHide(first);
        QVERIFY(window != XCB_WINDOW_NONE);

        QVERIFY(secondStartEndsWithZero(session));
        QTest::qWait(300);
        QVERIFY(!x.isViewable(window));
        QVERIFY(first.isRunning());
    }

    // Another program's window with the same class must not be pulled to the front.
    // Without a tray, closing only minimises, and a second start is the way back.
    void secondStartBringsBackAWindowClosedWithoutTray() {
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess first(session);
        first.start();
        const xcb_window_t window = first.waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(x.sendDeleteWindow(window));
        QVERIFY(QTest::qWaitFor([&] { return x.asksToBeIconic(window); }, 5000));
        focusOtherProgram();

        QVERIFY(secondStartEndsWithZero(session));
        QVERIFY(x.isViewable(window));
        QCOMPARE(x.inputFocus(), window);
        QCOMPARE(x.rootStackingOrder().back(), window);
    }

    // Where a window manager took the minimised window off the screen, the second start
    // maps it again for the window manager to restore.
    void secondStartRestoresAnIconifiedWindow() {
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess first(session);
        first.start();
        const xcb_window_t window = first.waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        QVERIFY(x.sendDeleteWindow(window));
        QVERIFY(QTest::qWaitFor([&] { return x.asksToBeIconic(window); }, 5000));
        QVERIFY(x.iconifyAsWindowManager(window));
        QVERIFY(!x.isViewable(window));

        QVERIFY(secondStartEndsWithZero(session));
        QVERIFY(QTest::qWaitFor([&] { return x.isViewable(window); }, 2000));
        QVERIFY(first.isRunning());
    }

    void lookalikeWindowIsLeftAlone() {
        QVERIFY(startTray());
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess first(session);
        QVERIFY(startAndHide(first) != XCB_WINDOW_NONE);
        const xcb_window_t lookalike = x.createTopLevel("hlx-config", "hlx-config", "Other tool",
                                                        QRect(60, 60, 300, 300), true);
        otherWindows.push_back(lookalike);
        const xcb_window_t editor = focusOtherProgram();

        QVERIFY(secondStartEndsWithZero(session));
        QCOMPARE(x.inputFocus(), editor);
        const std::vector<xcb_window_t> stack = x.rootStackingOrder();
        QVERIFY(std::find(stack.begin(), stack.end(), lookalike) <
                std::find(stack.begin(), stack.end(), editor));
    }

    void tenStartsAtOnceLeaveOne() {
        const UtilityProcess::Session session = UtilityProcess::newSession();
        std::vector<std::unique_ptr<UtilityProcess>> starts;
        for (int i = 0; i < 10; ++i)
            starts.push_back(std::make_unique<UtilityProcess>(session));
        for (auto &start : starts)
            start->start();

        QTRY_COMPARE_WITH_TIMEOUT(countRunning(starts), 1, 10000);
        QTest::qWait(1000);
        QCOMPARE(countRunning(starts), 1);
        for (auto &start : starts) {
            if (!start->isRunning()) {
                QCOMPARE(start->exitStatus(), QProcess::NormalExit);
                QCOMPARE(start->exitCode(), 0);
            }
        }
        QTRY_COMPARE(int(x.findTopLevels("hlx-config", "HLX_Configuration_Utility").size()), 1);
    }

    void startAfterAKillRunsAtOnce() {
        const UtilityProcess::Session session = UtilityProcess::newSession();
        auto first = std::make_unique<UtilityProcess>(session);
        first->start();
        QVERIFY(first->waitForWindow(x) != XCB_WINDOW_NONE);
        ::kill(pid_t(first->pid()), SIGKILL);
        QVERIFY(first->waitForExit(5000));
        QTRY_VERIFY(x.findTopLevels("hlx-config", "HLX_Configuration_Utility").empty());

        UtilityProcess next(session);
        next.start();
        QVERIFY(next.waitForShownWindow(x, 5000) != XCB_WINDOW_NONE);
        QTest::qWait(500);
        QVERIFY(next.isRunning());
    }

    void otherDisplayIsIndependent() {
        testsupport::XvfbServer otherServer;
        QVERIFY(otherServer.start());
        testsupport::X11Client otherX(otherServer.displayName());

        const UtilityProcess::Session here = UtilityProcess::newSession();
        UtilityProcess first(here);
        first.start();
        QVERIFY(first.waitForWindow(x) != XCB_WINDOW_NONE);

        UtilityProcess::Session there = here;
        there.display = otherServer.displayName();
        UtilityProcess onOther(there);
        onOther.start();
        QVERIFY(onOther.waitForShownWindow(otherX) != XCB_WINDOW_NONE);

        QVERIFY(secondStartEndsWithZero(there));
        QVERIFY(first.isRunning());
        QVERIFY(onOther.isRunning());
    }

    // The window is found by the program's own class, whatever name it was started under.
    void instanceStartedUnderAnotherNameIsFound() {
        QTemporaryDir folder;
        const QString renamed = folder.filePath("vr-settings");
        QVERIFY(QFile::link(HLX_CONFIG_PATH, renamed));
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess first(session);
        first.start({}, renamed);
        const xcb_window_t window = first.waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        focusOtherProgram();

        QVERIFY(secondStartEndsWithZero(session));
        QCOMPARE(x.inputFocus(), window);
    }

    void unknownArgumentsChangeNothing() {
        UtilityProcess first(UtilityProcess::newSession());
        first.start({"--no-such-option", "extra"});
        QVERIFY(first.waitForShownWindow(x) != XCB_WINDOW_NONE);
        QVERIFY(first.isRunning());
    }

private:
    static int countRunning(const std::vector<std::unique_ptr<UtilityProcess>> &starts) {
        int running = 0;
        for (const auto &start : starts)
            running += start->isRunning() ? 1 : 0;
        return running;
    }

    static bool secondStartEndsWithZero(const UtilityProcess::Session &session) {
        UtilityProcess second(session);
        second.start();
        return second.waitForExit(2000) && second.exitStatus() == QProcess::NormalExit &&
               second.exitCode() == 0;
    }

    // Starts the utility and closes its window to the tray; none on failure.
    xcb_window_t startAndHide(UtilityProcess &utility) {
        utility.start();
        const xcb_window_t window = utility.waitForShownWindow(x);
        const bool hidden = window != XCB_WINDOW_NONE && UtilityProcess::closeToTray(x, window);
        return hidden ? window : xcb_window_t(XCB_WINDOW_NONE);
    }

    // A tray for the cases that close the window to it; it goes in cleanup().
    bool startTray() {
        tray = std::make_unique<testsupport::TrayHost>();
        return tray->start();
    }

    // A window of another program on top, with the keyboard focus.
    xcb_window_t focusOtherProgram() {
        const xcb_window_t editor =
            x.createTopLevel("editor", "Editor", "Notes", QRect(50, 50, 500, 500), true);
        otherWindows.push_back(editor);
        x.setInputFocus(editor);
        return editor;
    }

    testsupport::X11Client x;
    std::vector<xcb_window_t> otherWindows;
    std::unique_ptr<testsupport::TrayHost> tray;
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
