#include "DeviceProxy.h"
#include "Event.h"
#include "EventHandler.h"

#include <QTest>

#include <vector>

namespace {

// A handler that counts what reaches it, to show that nothing travels along the chain.
class CountingHandler : public EventHandler {
public:
    void handleEvent(Event *&) override { ++handled; }
    int handled = 0;
};

using Handlers = std::vector<EventHandler *>;

} // namespace

// How handlers link up, and the device proxy at the head of the chain.
class EventChainTest : public QObject {
    Q_OBJECT

private slots:
    void newHandlerIsUnlinked() {
        CountingHandler handler;
        QCOMPARE(handler.successorHandler(), nullptr);
        QVERIFY(handler.childHandlers().empty());
    }

    void attachLinksBothWays() {
        CountingHandler first;
        CountingHandler next;
        first.attach(&next);
        QCOMPARE(first.successorHandler(), &next);
        QCOMPARE(next.childHandlers(), Handlers{&first});
        QVERIFY(first.childHandlers().empty());
        QCOMPARE(next.successorHandler(), nullptr);
    }

    void attachToNullChangesNothing() {
        CountingHandler first;
        CountingHandler next;
        CountingHandler other;
        first.attach(&next);
        other.attach(&first);

        first.attach(nullptr);
        QCOMPARE(first.successorHandler(), &next);
        QCOMPARE(next.childHandlers(), Handlers{&first});
        QCOMPARE(first.childHandlers(), Handlers{&other});
    }

    void attachingTwiceListsTwice() {
        CountingHandler first;
        CountingHandler second;
        CountingHandler next;
        first.attach(&next);
        second.attach(&next);
        first.attach(&next);
        QCOMPARE(first.successorHandler(), &next);
        QCOMPARE(next.childHandlers(), (Handlers{&first, &second, &first}));
    }

    void laterSuccessorWinsAndEarlierKeepsTheChild() {
        CountingHandler handler;
        CountingHandler a;
        CountingHandler b;
        handler.attach(&a);
        handler.attach(&b);
        QCOMPARE(handler.successorHandler(), &b);
        QCOMPARE(a.childHandlers(), Handlers{&handler});
        QCOMPARE(b.childHandlers(), Handlers{&handler});
    }

    void handlerAttachedToItself() {
        CountingHandler handler;
        handler.attach(&handler);
        QCOMPARE(handler.successorHandler(), &handler);
        QCOMPARE(handler.childHandlers(), Handlers{&handler});
    }

    void proxyIsOneObjectUntilDestroyed() {
        DeviceProxy *proxy = DeviceProxy::instance();
        QVERIFY(proxy != nullptr);
        QCOMPARE(DeviceProxy::instance(), proxy);

        CountingHandler window;
        proxy->attach(&window);
        delete proxy;
        // Destroying it clears the single-instance pointer: the next one starts unlinked.
        DeviceProxy *fresh = DeviceProxy::instance();
        QVERIFY(fresh != nullptr);
        QCOMPARE(DeviceProxy::instance(), fresh);
        QCOMPARE(fresh->successorHandler(), nullptr);
        QVERIFY(fresh->childHandlers().empty());
    }

    void proxyPassesNothingOn_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("test event") << "EVENT_test";
        QTest::newRow("empty") << "";
        QTest::newRow("other") << "something else";
    }

    void proxyPassesNothingOn() {
        QFETCH(QString, text);
        DeviceProxy *proxy = DeviceProxy::instance();
        CountingHandler next;
        proxy->attach(&next);

        Event event{text};
        Event *pointer = &event;
        proxy->handleEvent(pointer);
        QCOMPARE(pointer, &event);
        QCOMPARE(event.text, text);
        QCOMPARE(next.handled, 0);

        Event *none = nullptr;
        proxy->handleEvent(none);
        QCOMPARE(none, nullptr);
        QCOMPARE(next.handled, 0);
    }
};

QTEST_APPLESS_MAIN(EventChainTest)
#include "tst_eventchain.moc"
