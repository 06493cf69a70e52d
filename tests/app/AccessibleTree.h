#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

// Role numbers of the AT-SPI interface, which screen readers act on.
enum class Role : uint {
    Alert = 2,
    Dialog = 16,
    Frame = 23,
    Image = 27,
    Label = 29,
    PushButton = 43,
    Application = 75
};

// The accessible objects of the desktop, read over the accessibility bus as a screen reader reads
// them: every answer comes from the process that owns the object.
class AccessibleTree {
public:
    struct Node {
        QString service;
        QString path;
        bool isValid() const { return !service.isEmpty(); }
    };

    explicit AccessibleTree(const QDBusConnection &bus);

    static Node desktop();
    // The top-level window with this title and role of the application with this name.
    Node window(const QString &application, const QString &title, Role role = Role::Frame);
    QStringList applicationNames();
    // Depth first; an invalid node if nothing below `from` matches.
    Node find(const Node &from, Role wanted, const QString &wantedName, int depth);
    // The names of everything of this role below `from`, depth first.
    QStringList names(const Node &from, Role wanted, int depth);
    // Where the object lies on the screen, in its program's device-independent pixels; an
    // invalid rectangle where it does not say.
    QRect extents(const Node &node);

private:
    QVector<Node> otherApplications();
    QVector<Node> children(const Node &node);
    QString name(const Node &node);
    uint role(const Node &node);
    QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                      const QVariantList &arguments = {});

    QDBusConnection m_bus;
};
