#include "AccessibilityBus.h"
#include "UtilityProcess.h"
#include "X11Client.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QTest>

namespace {

constexpr int callTimeoutMs = 5000;
constexpr int appearTimeoutMs = 10000;
// Enough for the form's nesting of window, central widget and button row, with room to spare.
constexpr int searchDepth = 6;

// Role numbers of the AT-SPI interface, which screen readers act on.
enum class Role : uint { Frame = 23, Label = 29, PushButton = 43, Application = 75 };

} // namespace

// The accessible objects of the desktop, read over the accessibility bus as a screen reader reads
// them: every answer comes from the process that owns the object.
class AccessibleTree {
public:
    struct Node {
        QString service;
        QString path;
        bool isValid() const { return !service.isEmpty(); }
    };

    explicit AccessibleTree(const QDBusConnection &bus)
        : m_bus(bus) {}

    static Node desktop() { return {"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"}; }

    // The top-level window with this title of the application with this name.
    Node window(const QString &application, const QString &title) {
        for (const Node &candidate : children(desktop())) {
            if (role(candidate) == uint(Role::Application) && name(candidate) == application) {
                const Node found = find(candidate, Role::Frame, title, 1);
                if (found.isValid())
                    return found;
            }
        }
        return {};
    }

    QStringList applicationNames() {
        QStringList names;
        for (const Node &application : children(desktop()))
            names << name(application);
        return names;
    }

    // Depth first; an invalid node if nothing below `from` matches.
    Node find(const Node &from, Role wanted, const QString &wantedName, int depth) {
        for (const Node &child : children(from)) {
            if (role(child) == uint(wanted) && name(child) == wantedName)
                return child;
            if (depth > 1) {
                const Node found = find(child, wanted, wantedName, depth - 1);
                if (found.isValid())
                    return found;
            }
        }
        return {};
    }

private:
    QVector<Node> children(const Node &node) {
        const QDBusMessage reply = call(node, "org.a11y.atspi.Accessible", "GetChildren");
        QVector<Node> nodes;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return nodes;
        // a(so): the bus name of the owning process and the object's path in it.
        const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            QString service;
            QDBusObjectPath path;
            list.beginStructure();
            list >> service >> path;
            list.endStructure();
            nodes.push_back({service, path.path()});
        }
        list.endArray();
        return nodes;
    }

    QString name(const Node &node) {
        const QDBusMessage reply = call(node, "org.freedesktop.DBus.Properties", "Get",
                                        {"org.a11y.atspi.Accessible", "Name"});
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }

    uint role(const Node &node) {
        return call(node, "org.a11y.atspi.Accessible", "GetRole").arguments().value(0).toUInt();
    }

    QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(node.service, node.path, interface, method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, callTimeoutMs);
    }

    QDBusConnection m_bus;
};

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
