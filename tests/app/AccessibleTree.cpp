#include "AccessibleTree.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

constexpr int callTimeoutMs = 5000;

} // namespace

AccessibleTree::AccessibleTree(const QDBusConnection &bus)
    : m_bus(bus) {}

AccessibleTree::Node AccessibleTree::desktop() {
    return {"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
}

AccessibleTree::Node AccessibleTree::window(const QString &application, const QString &title,
                                            Role wanted) {
    for (const Node &candidate : otherApplications()) {
        if (role(candidate) == uint(Role::Application) && name(candidate) == application) {
            Node found = find(candidate, wanted, title, 1);
            if (found.isValid())
                return found;
        }
    }
    return {};
}

QStringList AccessibleTree::applicationNames() {
    QStringList names;
    for (const Node &application : otherApplications())
        names << name(application);
    return names;
}

// A test that has widgets of its own is on the bus too; asking it would wait on itself until
// the call times out.
QVector<AccessibleTree::Node> AccessibleTree::otherApplications() {
    QVector<Node> others;
    const qint64 self = QCoreApplication::applicationPid();
    for (const Node &application : children(desktop())) {
        const QDBusReply<uint> pid = m_bus.interface()->servicePid(application.service);
        if (!pid.isValid() || pid.value() != self)
            others.append(application);
    }
    return others;
}

AccessibleTree::Node AccessibleTree::find(const Node &from, Role wanted, const QString &wantedName,
                                          int depth) {
    for (const Node &child : children(from)) {
        if (role(child) == uint(wanted) && name(child) == wantedName)
            return child;
        if (depth > 1) {
            Node found = find(child, wanted, wantedName, depth - 1);
            if (found.isValid())
                return found;
        }
    }
    return {};
}

QStringList AccessibleTree::names(const Node &from, Role wanted, int depth) {
    QStringList found;
    for (const Node &child : children(from)) {
        if (role(child) == uint(wanted))
            found << name(child);
        if (depth > 1)
            found << names(child, wanted, depth - 1);
    }
    return found;
}

QVector<AccessibleTree::Node> AccessibleTree::children(const Node &node) {
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

QString AccessibleTree::name(const Node &node) {
    const QDBusMessage reply =
        call(node, "org.freedesktop.DBus.Properties", "Get", {"org.a11y.atspi.Accessible", "Name"});
    return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
}

uint AccessibleTree::role(const Node &node) {
    return call(node, "org.a11y.atspi.Accessible", "GetRole").arguments().value(0).toUInt();
}

QRect AccessibleTree::extents(const Node &node) {
    constexpr uint screenCoordinates = 0;
    const QDBusMessage reply = call(node, "org.a11y.atspi.Component", "GetExtents",
                                    {QVariant::fromValue(screenCoordinates)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QDBusArgument box = reply.arguments().first().value<QDBusArgument>();
    int left = 0, top = 0, width = 0, height = 0;
    box.beginStructure();
    box >> left >> top >> width >> height;
    box.endStructure();
    return QRect(left, top, width, height);
}

QDBusMessage AccessibleTree::call(const Node &node, const QString &interface, const QString &method,
                                  const QVariantList &arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(node.service, node.path, interface, method);
    message.setArguments(arguments);
    return m_bus.call(message, QDBus::Block, callTimeoutMs);
}
