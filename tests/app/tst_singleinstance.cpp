#include "TrayHost.h"
#include "UtilityProcess.h"
#include "UtilityWindow.h"
#include "X11Client.h"
#include "XvfbServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

#include <unistd.h>

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

    // The start lands while the running instance is still ending: it has to run, not leave
    // believing the instance it found will take care of it.
    void startDuringExitIsNeverLost() {
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityWindow hands(x);
        auto current = std::make_unique<UtilityProcess>(session);
        current->start();
        xcb_window_t window = current->waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        QStringList lost;
        constexpr int kStarts = 100;
        for (int round = 0; round < kStarts; ++round) {
            const int delayMs = round * 50 / (kStarts - 1);
            QVERIFY(hands.press(window, "btnClose"));
            QThread::msleep(static_cast<unsigned long>(delayMs));
            auto next = std::make_unique<UtilityProcess>(session);
            next->start();
            QVERIFY2(current->waitForExit(10000), "Close did not end the utility");
            QCOMPARE(current->exitCode(), 0);
            window = ownShownWindow(*next);
            if (window == XCB_WINDOW_NONE) {
                lost << QString("%1 ms").arg(delayMs);
                next = std::make_unique<UtilityProcess>(session);
                next->start();
                window = next->waitForShownWindow(x);
                QVERIFY(window != XCB_WINDOW_NONE);
            }
            current = std::move(next);
        }
        QVERIFY2(lost.isEmpty(), qPrintable(QString("%1 of %2 starts lost, at %3 after Close")
                                                .arg(lost.size())
                                                .arg(kStarts)
                                                .arg(lost.join(", "))));
    }

    // The same X server however $DISPLAY spells it, so one instance.
    void displaySpellingsShareOneInstance_data() {
        QTest::addColumn<QString>("spelling");
        const QString number = qEnvironmentVariable("DISPLAY").section(':', -1).section('.', 0, 0);
        QTest::newRow("leading zero") << ":0" + number;
        QTest::newRow("transport") << "unix/:" + number;
        QTest::newRow("screen") << ":" + number + ".0";
        QTest::newRow("unix host") << "unix:" + number;
    }

    void displaySpellingsShareOneInstance() {
        QFETCH(QString, spelling);
        const UtilityProcess::Session session = UtilityProcess::newSession();
        UtilityProcess first(session);
        first.start();
        const xcb_window_t window = first.waitForShownWindow(x);
        QVERIFY(window != XCB_WINDOW_NONE);
        focusOtherProgram();

        UtilityProcess::Session spelt = session;
        spelt.display = spelling;
        QVERIFY(secondStartEndsWithZero(spelt));
        QCOMPARE(x.inputFocus(), window);
        QVERIFY(first.isRunning());
    }

    // Without a lock a second start would run beside this one; the user is told so, once.
    void startWithoutALockSaysSo_data() {
        QTest::addColumn<QString>("runtime");
        QTest::newRow("runtime folder nobody may write in") << "/proc";
        QTest::newRow("planted link for the private folder") << QString();
    }

    void startWithoutALockSaysSo() {
        QFETCH(QString, runtime);
        QTemporaryDir tmp;
        UtilityProcess utility(UtilityProcess::newSession());
        utility.setEnvironment("XDG_RUNTIME_DIR", runtime);
        if (runtime.isEmpty()) {
            QVERIFY(QFile::link(tmp.path(), tmp.filePath(QString("hlx-runtime-%1").arg(getuid()))));
            utility.setEnvironment("TMPDIR", tmp.path());
        }
        utility.start();
        QVERIFY(utility.waitForShownWindow(x) != XCB_WINDOW_NONE);
        QByteArray errors;
        QVERIFY(QTest::qWaitFor([&] {
            errors += utility.standardError();
            return errors.contains("no single-instance lock in ");
        }));
        QTest::qWait(300);
        errors += utility.standardError();
        QCOMPARE(errors.count("no single-instance lock in "), 1);
        QVERIFY(utility.isRunning());
        QVERIFY(QDir(tmp.path()).entryList(QDir::Files).isEmpty());
    }

    void unknownArgumentsChangeNothing() {
        UtilityProcess first(UtilityProcess::newSession());
        first.start({"--no-such-option", "extra"});
        QVERIFY(first.waitForShownWindow(x) != XCB_WINDOW_NONE);
        QVERIFY(first.isRunning());
    }

private:
    // The window of `utility` once shown; none if it ended without one. The server may give
    // the new window the number the ended instance's had, so the owner tells them apart.
    xcb_window_t ownShownWindow(UtilityProcess &utility) {
        xcb_window_t found = XCB_WINDOW_NONE;
        const bool settled = QTest::qWaitFor(
            [&] {
                for (xcb_window_t candidate :
                     x.findTopLevels("hlx-config", "HLX_Configuration_Utility")) {
                    if (x.processId(candidate) == utility.pid() && x.isViewable(candidate))
                        found = candidate;
                }
                return found != XCB_WINDOW_NONE || !utility.isRunning();
            },
            10000);
        return settled && utility.isRunning() ? found : xcb_window_t(XCB_WINDOW_NONE);
    }

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

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
