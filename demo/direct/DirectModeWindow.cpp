#include "DirectModeWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

DirectModeWindow::DirectModeWindow(const QString &text, QWidget *parent)
    : QWidget(parent) {
    auto *label = new QLabel(text, this);
    label->setWordWrap(true);
    label->setMinimumWidth(340);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    // A tiling compositor floats a window whose size is fixed, rather than spreading a few lines
    // over the whole of the user's monitor.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void DirectModeWindow::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        m_closedBy = QStringLiteral("Esc was pressed in its window");
        close();
    } else
        QWidget::keyPressEvent(event);
}

void DirectModeWindow::closeEvent(QCloseEvent *event) {
    QWidget::closeEvent(event);
    emit closed(m_closedBy);
}
