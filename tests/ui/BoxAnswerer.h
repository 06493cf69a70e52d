#pragma once

#include "X11Client.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <QVector>

// Answers the message boxes of this process as a person would, with a click on the box's
// first button through the X server, and keeps what each box showed.
class BoxAnswerer : public QObject {
    Q_OBJECT

public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QStringList buttons;
        bool hasParent;
    };

    explicit BoxAnswerer(testsupport::X11Client &x);

    const QVector<Seen> &seen() const { return m_seen; }

private:
    void look();

    testsupport::X11Client &m_x;
    QTimer m_timer;
    QVector<Seen> m_seen;
    // When each box was last clicked: a box gets another click only if the first was lost.
    QHash<QMessageBox *, QElapsedTimer> m_clicked;
};
