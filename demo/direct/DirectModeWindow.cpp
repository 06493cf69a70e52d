#include "DirectModeWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

DirectModeWindow::DirectModeWindow(const QString &text, QWidget *parent)
    : QWidget(parent) {
    auto *label = new QLabel(text, this);
    label->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    setMinimumWidth(360);
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
