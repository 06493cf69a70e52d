#include "DemoWindow.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QSemaphore>

#include <algorithm>

namespace {

QRect toLogical(const QRect &native, qreal ratio) {
    return QRectF(QPointF(native.topLeft()) / ratio, QSizeF(native.size()) / ratio).toAlignedRect();
}

} // namespace

DemoWindow::DemoWindow(QSize sceneSize, QWidget *parent)
    : QWidget(parent)
    , m_sceneSize(sceneSize) {
    // Every pixel is painted each frame; Qt need not clear them first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::BlankCursor);
    m_painter.setMaxThreadCount(1);
    m_painter.setExpiryTimeout(-1);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DemoWindow::tick);
    m_clock.start();
    setRefreshRate(0);
}

QRect DemoWindow::sceneRect(QSize requested, QSize area) {
    QSize size = requested;
    if (size.width() > area.width() || size.height() > area.height())
        size = requested.scaled(area, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    return QRect(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2),
                 size);
}

void DemoWindow::follow(QScreen *screen, bool fullscreen) {
    connect(screen, &QScreen::refreshRateChanged, this, &DemoWindow::setRefreshRate);
    if (fullscreen)
        connect(screen, &QScreen::geometryChanged, this,
                [this](const QRect &geometry) { setGeometry(geometry); });
    setRefreshRate(screen->refreshRate());
    m_nextDeadlineNs = m_clock.nsecsElapsed();
    tick();
}

void DemoWindow::setRefreshRate(double refreshHz) {
    if (!(refreshHz >= 1.0))
        refreshHz = 60.0;
    m_periodNs = qint64(1e9 / refreshHz);
    // The next frame one new period after the last, rather than on the old pace's deadline.
    m_nextDeadlineNs = m_lastFrameNs + m_periodNs;
    if (m_timer.isActive())
        schedule();
}

QRect DemoWindow::nativeSceneRect() const {
    return sceneRect(m_sceneSize, (QSizeF(size()) * devicePixelRatioF()).toSize());
}

QRegion DemoWindow::advanceEyes() {
    const QRect scene = nativeSceneRect();
    const QSize eye(std::max(1, scene.width() / 2), scene.height());
    const double seconds = double(m_clock.nsecsElapsed()) / 1e9;
    QRegion left;
    QSemaphore leftDone;
    m_painter.start([&] {
        left = m_left.advance(m_scene, eye, seconds);
        leftDone.release();
    });
    const QRegion right = m_right.advance(m_scene, eye, seconds);
    leftDone.acquire();

    const qreal ratio = devicePixelRatioF();
    QRegion changed;
    for (const QRect &rect : left.translated(scene.topLeft()))
        changed += toLogical(rect, ratio);
    for (const QRect &rect : right.translated(scene.topLeft() + QPoint(eye.width(), 0)))
        changed += toLogical(rect, ratio);
    return changed;
}

void DemoWindow::tick() {
    if (!isVisible() || isMinimized()) {
        m_paused = true;
        return;
    }
    m_lastFrameNs = m_clock.nsecsElapsed();
    // Only what changed goes to the window, and so to the display's server.
    const QRegion changed = advanceEyes();
    if (!changed.isEmpty())
        repaint(changed);
    // Deadlines are counted from the start, so the timer's rounding to milliseconds averages
    // out to the exact refresh rate; one that has already passed is a refresh missed.
    m_nextDeadlineNs += m_periodNs;
    schedule();
}

void DemoWindow::schedule() {
    const qint64 now = m_clock.nsecsElapsed();
    while (m_nextDeadlineNs <= now)
        m_nextDeadlineNs += m_periodNs;
    m_timer.start(int((m_nextDeadlineNs - now) / 1000000));
}

void DemoWindow::paintEvent(QPaintEvent *event) {
    const QRect scene = nativeSceneRect();
    const QSize eye(std::max(1, scene.width() / 2), scene.height());
    // Qt asks for the whole window at a new size, before the next frame's time.
    if (m_left.picture().size() != eye)
        advanceEyes();

    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const qreal ratio = devicePixelRatioF();
    QRegion outside = event->region();
    const auto copy = [&](const EyeView &view, QPoint origin) {
        const QRect area = toLogical(QRect(origin, eye), ratio);
        outside -= area;
        for (const QRect &rect : event->region() & area) {
            const QRectF source(QPointF(rect.topLeft()) * ratio - QPointF(origin),
                                QSizeF(rect.size()) * ratio);
            painter.drawImage(rect, view.picture(), source);
        }
    };
    copy(m_left, scene.topLeft());
    copy(m_right, scene.topLeft() + QPoint(eye.width(), 0));
    for (const QRect &rect : outside)
        painter.fillRect(rect, Qt::black);
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
