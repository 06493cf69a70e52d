#include "BoxAnswerer.h"
#include "DeviceProxy.h"
#include "Event.h"
#include "MainWindow.h"
#include "X11Client.h"

#include <QApplication>
#include <QTest>

// The window as the last link of the event chain: how start-up links it behind the device
// proxy, and its answer to the test event, which is a real box answered through X.
class WindowEventsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        window.reset(new MainWindow);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.data()));
    }

    void cleanup() { window.reset(); }

    void proxyComesFirstAfterStartUp() {
        EventHandler *windowPart = window.data();
        DeviceProxy *proxy = DeviceProxy::instance();
        QVERIFY(proxy != nullptr);
        QCOMPARE(proxy->successorHandler(), windowPart);
        QVERIFY(proxy->childHandlers().empty());
        QCOMPARE(window->successorHandler(), nullptr);
        QCOMPARE(window->childHandlers(), std::vector<EventHandler *>{proxy});
    }

    void castByClassNameFindsTheHandlerPart() {
        EventHandler *windowPart = window.data();
        QCOMPARE(static_cast<EventHandler *>(window->qt_metacast("EventHandler")), windowPart);
        QCOMPARE(window->qt_metacast("MainWindow"), static_cast<void *>(window.data()));
    }

    void testEventShowsOneBox() {
        BoxAnswerer answerer(x);
        send("EVENT_test");
        QCOMPARE(answerer.seen().size(), 1);
        const BoxAnswerer::Seen &box = answerer.seen().front();
        QCOMPARE(box.title, QString("EVENT_test"));
        QCOMPARE(box.text, QString("get"));
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(box.buttons, QStringList{"OK"});
        QVERIFY(!box.hasParent);
    }

    void nearMissesShowNothing_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("letter case") << "event_test";
        QTest::newRow("trailing blank") << "EVENT_test ";
        QTest::newRow("leading blank") << " EVENT_test";
        QTest::newRow("last letter missing") << "EVENT_tes";
        QTest::newRow("empty") << "";
        QTest::newRow("embedded NUL") << QStringLiteral("EVENT_test") + QChar(0) + "x";
    }

    void nearMissesShowNothing() {
        QFETCH(QString, text);
        BoxAnswerer answerer(x);
        send(text);
        QTest::qWait(100);
        QCOMPARE(answerer.seen().size(), 0);
    }

    void noEventShowsNothing() {
        BoxAnswerer answerer(x);
        Event *none = nullptr;
        window->handleEvent(none);
        QTest::qWait(100);
        QCOMPARE(answerer.seen().size(), 0);
    }

    void eventGoesNoFurther() {
        // Whatever the window makes of an event, the proxy in front of it sees nothing back.
        BoxAnswerer answerer(x);
        Event event{"EVENT_test"};
        Event *pointer = &event;
        window->handleEvent(pointer);
        QCOMPARE(pointer, &event);
        QCOMPARE(event.text, QString("EVENT_test"));
        QCOMPARE(answerer.seen().size(), 1);
    }

private:
    void send(const QString &text) {
        Event event{text};
        Event *pointer = &event;
        window->handleEvent(pointer);
    }

    testsupport::X11Client x;
    QScopedPointer<MainWindow> window;
};

QTEST_MAIN(WindowEventsTest)
#include "tst_windowevents.moc"
