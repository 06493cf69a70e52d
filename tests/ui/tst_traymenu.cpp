#include "MainWindow.h"
#include "TrayHost.h"
#include "TrayMenu.h"
#include "X11Client.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

// The tray icon and its menu, used through a real tray on the X server.
class TrayMenuTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(tray.start()); }

    void init() {
        window.reset(new MainWindow);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
        QVERIFY(tray.waitForIcon(5000));
    }

    void cleanup() {
        if (menu() != nullptr)
            menu()->hide();
        window.reset();
        QTRY_VERIFY(tray.dockedIcons().empty());
    }

    void iconShowsTheEmblem() {
        const QSystemTrayIcon *icon = trayIcon();
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->toolTip(), QString("Qelto"));
        QCOMPARE(icon->icon().pixmap(80).toImage().convertToFormat(QImage::Format_RGB32),
                 QImage(":/new/icon/imges/myicon.png").convertToFormat(QImage::Format_RGB32));
        QCOMPARE(icon->contextMenu(), menu());
        QCOMPARE(menu()->parent(), window.data());
    }

    void menuEntriesInOrder() {
        const QList<QAction *> entries = menu()->actions();
        QCOMPARE(entries.size(), 4);
        QCOMPARE(entries[0]->text(), QString("open"));
        QCOMPARE(entries[1]->text(), QString("about"));
        QVERIFY(entries[2]->isSeparator());
        QCOMPARE(entries[3]->text(), QString("exit"));
        for (QAction *entry : {entries[0], entries[1], entries[3]}) {
            QCOMPARE(entry->parent(), menu());
            QVERIFY2(entry->icon().pixmap(16).isNull(), qPrintable(entry->text()));
            QVERIFY(entry->shortcut().isEmpty());
            QVERIFY(!entry->isCheckable());
        }
    }

    void entriesAnnounceTheirSignals_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QByteArray>("signal");
        QTest::newRow("open") << 0 << QByteArray(SIGNAL(appShow()));
        QTest::newRow("about") << 1 << QByteArray(SIGNAL(appInfo()));
        QTest::newRow("exit") << 3 << QByteArray(SIGNAL(appQuit()));
    }

    void entriesAnnounceTheirSignals() {
        QFETCH(int, entry);
        QFETCH(QByteArray, signal);
        TrayMenu standalone(nullptr);
        QSignalSpy show(&standalone, SIGNAL(appShow()));
        QSignalSpy info(&standalone, SIGNAL(appInfo()));
        QSignalSpy quit(&standalone, SIGNAL(appQuit()));
        standalone.actions().at(entry)->trigger();
        QCOMPARE(show.count(), signal == SIGNAL(appShow()) ? 1 : 0);
        QCOMPARE(info.count(), signal == SIGNAL(appInfo()) ? 1 : 0);
        QCOMPARE(quit.count(), signal == SIGNAL(appQuit()) ? 1 : 0);
    }

    void doubleClickShowsHiddenWindow() {
        hideWindow();
        x.doubleClick(tray.iconCentre());
        QTRY_VERIFY(window->isVisible());
        QTRY_VERIFY(x.isViewable(xcb_window_t(window->winId())));
    }

    void doubleClickRestoresMinimisedWindow() {
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        x.doubleClick(tray.iconCentre());
        QTRY_VERIFY(!window->isMinimized());
        QVERIFY(window->isVisible());
    }

    void singleAndMiddleClicksDoNothing() {
        hideWindow();
        x.click(tray.iconCentre(), 1);
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        x.click(tray.iconCentre(), 2);
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        QVERIFY(!window->isVisible());
    }

    void openEntryShowsHiddenWindow() {
        hideWindow();
        chooseFromTrayMenu("open");
        QTRY_VERIFY(window->isVisible());
        QTRY_VERIFY(!menu()->isVisible());
    }

    void aboutEntryChangesNothing() {
        hideWindow();
        const QWidgetList before = QApplication::topLevelWidgets();
        chooseFromTrayMenu("about");
        QTRY_VERIFY(!menu()->isVisible());
        QTest::qWait(200);
        QVERIFY(!window->isVisible());
        QCOMPARE(QApplication::topLevelWidgets(), before);
    }

    // Last: once anything has asked the application to quit, Qt 5 ends every later event
    // loop of the process at once.
    void exitEntryEndsTheLoopWithZero() {
        hideWindow();
        QEventLoop loop;
        QTimer::singleShot(0, this, [this] { chooseFromTrayMenu("exit"); });
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(kLoopKeptRunning); });
        QCOMPARE(loop.exec(), 0);
    }

private:
    static constexpr int kLoopKeptRunning = 99;

    QSystemTrayIcon *trayIcon() const { return window->findChild<QSystemTrayIcon *>(); }
    TrayMenu *menu() const { return window ? window->findChild<TrayMenu *>() : nullptr; }

    void hideWindow() {
        x.sendDeleteWindow(xcb_window_t(window->winId()));
        QTRY_VERIFY(!window->isVisible());
    }

    // Opens the menu with a right click on the icon and clicks the entry, all through X.
    void chooseFromTrayMenu(const QString &text) {
        x.click(tray.iconCentre(), 3);
        QTRY_VERIFY(menu()->isVisible());
        QAction *entry = nullptr;
        for (QAction *candidate : menu()->actions()) {
            if (candidate->text() == text)
                entry = candidate;
        }
        QVERIFY(entry != nullptr);
        x.click(menu()->mapToGlobal(menu()->actionGeometry(entry).center()));
    }

    testsupport::TrayHost tray;
    testsupport::X11Client x;
    QScopedPointer<MainWindow> window;
};

QTEST_MAIN(TrayMenuTest)
#include "tst_traymenu.moc"
