#include "DemoWindow.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

DemoWindow::DemoWindow(QSize sceneSize, QWidget *parent)
    : QWidget(parent)
    , m_sceneSize(sceneSize) {
    // Every pixel is painted each frame; Qt need not clear them first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::BlankCursor);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DemoWindow::tick);
    m_clock.start();
}

QRect DemoWindow::sceneRect(QSize requested, QSize area) {
    QSize size = requested;
    if (size.width() > area.width() || size.height() > area.height())
        size = requested.scaled(area, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    return QRect(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2),
                 size);
}

void DemoWindow::startFrames(double refreshHz) {
    // A display that reports no rate is taken for the common 60 Hz.
    if (!(refreshHz >= 1.0))
        refreshHz = 60.0;
    m_periodNs = qint64(1e9 / refreshHz);
    m_missed = 0;
    m_nextDeadlineNs = m_clock.nsecsElapsed();
    tick();
}

void DemoWindow::tick() {
    if (!isVisible() || isMinimized()) {
        m_paused = true;
        return;
    }
    const qint64 start = m_clock.nsecsElapsed();
    repaint();
    const qint64 end = m_clock.nsecsElapsed();
    // Deadlines are counted from the start, so the timer's rounding to milliseconds averages
    // out to the exact refresh rate; one that has already passed is a refresh we missed.
    m_nextDeadlineNs += m_periodNs;
    while (m_nextDeadlineNs <= end) {
        m_nextDeadlineNs += m_periodNs;
        ++m_missed;
    }
    m_timer.start(int((m_nextDeadlineNs - end) / 1000000));
    emit frameDone(end - start, m_missed);
}

void DemoWindow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    // The requested size is in the display's own pixels, whatever Qt's scaling makes of them.
    const qreal ratio = devicePixelRatioF();
    const QRect native = sceneRect(m_sceneSize, (QSizeF(size()) * ratio).toSize());
    const QRectF target(QPointF(native.topLeft()) / ratio, QSizeF(native.size()) / ratio);
    if (native.size() != (QSizeF(size()) * ratio).toSize())
        painter.fillRect(rect(), Qt::black);
    m_scene.paint(painter, target, double(m_clock.nsecsElapsed()) / 1e9);
}

void DemoWindow::resume() {
    if (!m_paused)
        return;
    m_paused = false;
    m_nextDeadlineNs = m_clock.nsecsElapsed();
    m_timer.start(0);
}

void DemoWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    resume();
}

void DemoWindow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        resume();
}

void DemoWindow::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
