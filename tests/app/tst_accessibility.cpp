#include "AccessibilityBus.h"
#include "AccessibleTree.h"
#include "UtilityProcess.h"
#include "X11Client.h"

#include <QDeadlineTimer>
#include <QTest>

namespace {

constexpr int appearTimeoutMs = 10000;
// Enough for the form's nesting of window, central widget and button row, with room to spare.
constexpr int searchDepth = 6;

} // namespace

// What a screen reader finds of the utility, from outside its process, on a desktop where the
// screen reader is switched on the usual way.
class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void windowAndLabelsReachScreenReaders() {
        AccessibilityBus bus;
        QVERIFY2(bus.start(), qPrintable(bus.errorString()));
        QVERIFY2(bus.enableScreenReader(), qPrintable(bus.errorString()));
        QVERIFY2(bus.launchBus(), qPrintable(bus.errorString()));

        // The utility finds the session bus through its environment, as on a desktop. Qt must
        // decide by itself to serve screen readers, so the switch that forces it stays out.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.sessionBusAddress().toUtf8());
        qunsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
        UtilityProcess utility(UtilityProcess::newSession());
        utility.start();
        QVERIFY(utility.waitForWindow(x) != XCB_WINDOW_NONE);

        AccessibleTree tree(bus.accessibilityBus());
        const QDeadlineTimer deadline(appearTimeoutMs);
        AccessibleTree::Node window = tree.window("hlx-config", "HLX_Configuration_Utility");
        while (!window.isValid() && !deadline.hasExpired() && utility.isRunning()) {
            QTest::qWait(100);
            window = tree.window("hlx-config", "HLX_Configuration_Utility");
        }
        QVERIFY2(window.isValid(),
                 qPrintable("no accessible window of hlx-config; applications seen: [" +
                            tree.applicationNames().join(", ") + "]"));

        const QVector<QPair<Role, QString>> expected = {{Role::Label, "No VR HMD"},
                                                        {Role::Label, "Device"},
                                                        {Role::PushButton, "ShowDemo"},
                                                        {Role::PushButton, "Close"}};
        for (const auto &[role, name] : expected)
            QVERIFY2(tree.find(window, role, name, searchDepth).isValid(),
                     qPrintable("nothing accessible named \"" + name + "\" of role " +
                                QString::number(uint(role)) + " in the window"));
    }

private:
    testsupport::X11Client x;
};

QTEST_GUILESS_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
