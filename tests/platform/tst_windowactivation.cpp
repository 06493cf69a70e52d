#include "Platform.h"
#include "X11Client.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

const char kApp[] = "hlx-activation-test";
const char kTitle[] = "HLX_Configuration_Utility";

// Plays a window manager that announces EWMH support, to see what the activation asks of it.
class FakeWindowManager {
public:
    FakeWindowManager()
        : connection(xcb_connect(nullptr, nullptr)) {
        root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        activeWindow = atom("_NET_ACTIVE_WINDOW");
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom("_NET_SUPPORTED"),
                            XCB_ATOM_ATOM, 32, 1, &activeWindow);
        const uint32_t mask =
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    ~FakeWindowManager() {
        xcb_delete_property(connection, root, atom("_NET_SUPPORTED"));
        xcb_disconnect(connection);
    }
    FakeWindowManager(const FakeWindowManager &) = delete;
    FakeWindowManager &operator=(const FakeWindowManager &) = delete;

    // The windows named in _NET_ACTIVE_WINDOW requests received so far, with their source.
    QList<QPair<xcb_window_t, uint32_t>> activationRequests() {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
                if (message->type == activeWindow)
                    requests.append({message->window, message->data.data32[0]});
            }
            std::free(event);
        }
        return requests;
    }

private:
    xcb_atom_t atom(const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name),
            nullptr);
        const xcb_atom_t result = reply->atom;
        std::free(reply);
        return result;
    }

    xcb_connection_t *connection;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    QList<QPair<xcb_window_t, uint32_t>> requests;
};

} // namespace

class WindowActivationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(kApp); }

    void init() {
        target.reset(new QWidget);
        target->setWindowTitle(kTitle);
        target->setGeometry(100, 100, 200, 150);
    }

    void cleanup() {
        // Qt 5 may leave the X window of a deleted hidden widget behind; retitled, a leftover
        // cannot be mistaken for the next case's window.
        target->setWindowTitle("retired");
        target.reset();
        for (xcb_window_t decoy : decoys)
            x.destroyWindow(decoy);
        decoys.clear();
        QTRY_VERIFY(x.findTopLevels(kApp, kTitle).empty());
    }

    void nothingToFindIsReported() { QVERIFY(!platform::bringWindowToFront(kApp, kTitle)); }

    void visibleWindowIsRaisedAndFocused() {
        showTarget();
        const xcb_window_t other = decoy("other-program", "Editor", true);

        QVERIFY(platform::bringWindowToFront(kApp, kTitle));
        QCOMPARE(x.inputFocus(), xcb_window_t(target->winId()));
        QCOMPARE(x.rootStackingOrder().back(), xcb_window_t(target->winId()));
        QVERIFY(x.isViewable(other));
    }

    // Another window of the same program class, or of a program that happens to use the
    // same class, must never be brought forward in place of the utility's own window.
    void sameClassWithAnotherTitleIsPassedOver() {
        showTarget();
        const xcb_window_t lookalike = decoy(kApp, "Some other window", true);

        QVERIFY(platform::bringWindowToFront(kApp, kTitle));
        QCOMPARE(x.inputFocus(), xcb_window_t(target->winId()));
        QCOMPARE(x.rootStackingOrder().back(), xcb_window_t(target->winId()));
        QVERIFY(x.isViewable(lookalike));
    }

    void lookalikeAloneIsNotActivated() {
        const xcb_window_t lookalike = decoy(kApp, "HLX_Configuration_Utility (copy)", true);
        const xcb_window_t editor = decoy("other-program", "Editor", true);

        QVERIFY(!platform::bringWindowToFront(kApp, kTitle));
        QCOMPARE(x.inputFocus(), editor);
        const std::vector<xcb_window_t> stack = x.rootStackingOrder();
        QCOMPARE(stack.back(), editor);
        QVERIFY(std::find(stack.begin(), stack.end(), lookalike) != stack.end());
    }

    void hiddenWindowStaysHidden() {
        showTarget();
        target->hide();
        QTRY_VERIFY(!x.isViewable(xcb_window_t(target->winId())));
        const xcb_window_t other = decoy("other-program", "Editor", true);
        x.setInputFocus(other);

        QVERIFY(platform::bringWindowToFront(kApp, kTitle));
        QTest::qWait(200);
        QVERIFY(!x.isViewable(xcb_window_t(target->winId())));
        QVERIFY(!target->isVisible());
        QCOMPARE(x.inputFocus(), other);
    }

    void windowManagerIsAskedWhenItSupportsActivation() {
        showTarget();
        FakeWindowManager manager;

        QVERIFY(platform::bringWindowToFront(kApp, kTitle));
        const auto requests = manager.activationRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().first, xcb_window_t(target->winId()));
        QCOMPARE(requests.first().second, 2u);
    }

    void windowManagerIsNotAskedToShowAHiddenWindow() {
        showTarget();
        target->hide();
        QTRY_VERIFY(!x.isViewable(xcb_window_t(target->winId())));
        FakeWindowManager manager;

        QVERIFY(platform::bringWindowToFront(kApp, kTitle));
        QVERIFY(manager.activationRequests().isEmpty());
        QVERIFY(!x.isViewable(xcb_window_t(target->winId())));
    }

private:
    void showTarget() {
        target->show();
        QVERIFY(QTest::qWaitForWindowExposed(target.data()));
    }

    xcb_window_t decoy(const QByteArray &wmClass, const QString &title, bool mapped) {
        const xcb_window_t window =
            x.createTopLevel(wmClass, wmClass, title, QRect(150, 120, 200, 150), mapped);
        decoys.append(window);
        if (mapped)
            x.setInputFocus(window);
        x.sync();
        return window;
    }

    testsupport::X11Client x;
    QScopedPointer<QWidget> target;
    QList<xcb_window_t> decoys;
};

QTEST_MAIN(WindowActivationTest)
#include "tst_windowactivation.moc"
