#include "BoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWindow>

BoxAnswerer::BoxAnswerer(testsupport::X11Client &x)
    : m_x(x) {
    // The timer fires inside the box's own event loop, which is where the test waits.
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::look);
    m_timer.start(20);
}

void BoxAnswerer::look() {
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        // Clicked only once mapped: before that the click would land on whatever lies below.
        if (box == nullptr || !box->isVisible() || box->windowHandle() == nullptr ||
            !box->windowHandle()->isExposed())
            continue;
        if (!m_clicked.contains(box)) {
            QStringList buttons;
            for (QAbstractButton *button : box->buttons())
                buttons << button->text();
            m_seen.append({box->windowTitle(), box->text(), box->icon(), buttons,
                           box->parentWidget() != nullptr});
        } else if (!m_clicked[box].hasExpired(500)) {
            continue;
        }
        m_clicked[box].start();
        QAbstractButton *first = box->buttons().value(0);
        if (first != nullptr)
            m_x.click(first->mapToGlobal(first->rect().center()));
    }
}
