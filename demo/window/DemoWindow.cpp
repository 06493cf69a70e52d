#include "DemoWindow.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

QRect toLogical(const QRect &native, qreal ratio) {
    return QRectF(QPointF(native.topLeft()) / ratio, QSizeF(native.size()) / ratio).toAlignedRect();
}

} // namespace

DemoWindow::DemoWindow(QSize sceneSize, QWidget *parent)
    : QWidget(parent)
    , m_sceneSize(sceneSize) {
    // Each paint covers every pixel it is asked for; Qt need not clear them first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::BlankCursor);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DemoWindow::tick);
    m_clock.start();
    setRefreshRate(0);
}

DemoWindow::~DemoWindow() = default;

QRect DemoWindow::sceneRect(QSize requested, QSize area) {
    QSize size = requested;
    if (size.width() > area.width() || size.height() > area.height())
        size = requested.scaled(area, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    return QRect(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2),
                 size);
}

QRect DemoWindow::windowRect(QSize requested, const QRect &area, bool onHeadset) {
    const QSize bound =
        onHeadset ? area.size() : QSize(area.width() * 2 / 3, area.height() * 2 / 3);
    const QSize size = requested.boundedTo(bound).expandedTo(QSize(1, 1));
    return QRect(area.topLeft() +
                     QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2),
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

void DemoWindow::setCaption(const QString &caption) {
    m_caption = caption;
    update();
}

QRect DemoWindow::captionRect() const {
    if (m_caption.isEmpty())
        return QRect();
    const int margin = fontMetrics().height() / 2;
    const QRect text = fontMetrics().boundingRect(
        QRect(margin, margin, width() - 2 * margin, height()), Qt::TextWordWrap, m_caption);
    return QRect(0, 0, width(), std::min(height() / 2, text.bottom() + 1 + margin));
}

QRect DemoWindow::nativeSceneRect() const {
    const qreal ratio = devicePixelRatioF();
    const int top = int(std::ceil(captionRect().height() * ratio));
    const QSize area = (QSizeF(size()) * ratio).toSize() - QSize(0, top);
    return sceneRect(m_sceneSize, area.expandedTo(QSize(1, 1))).translated(0, top);
}

QSize DemoWindow::eyeSize(const QRect &scene) {
    return {std::max(1, scene.width() / 2), scene.height()};
}

void DemoWindow::startEyes(double seconds) {
    m_eyes.wait();
    m_eyesScene = nativeSceneRect();
    m_eyes.start(eyeSize(m_eyesScene), seconds);
}

QRegion DemoWindow::takeChanged() {
    const EyePainters::Changed eyes = m_eyes.takeChanged();
    const qreal ratio = devicePixelRatioF();
    QRegion changed;
    for (const QRect &rect : eyes.left.translated(m_eyesScene.topLeft()))
        changed += toLogical(rect, ratio);
    const QPoint rightOrigin = m_eyesScene.topLeft() + QPoint(eyeSize(m_eyesScene).width(), 0);
    for (const QRect &rect : eyes.right.translated(rightOrigin))
        changed += toLogical(rect, ratio);
    return changed;
}

void DemoWindow::tick() {
    if (!isVisible() || isMinimized()) {
        m_paused = true;
        return;
    }
    m_lastFrameNs = m_clock.nsecsElapsed();
    // The frame drawn since the last one, and only what changed in it, goes to the window and
    // so to the display's server.
    const QRegion changed = takeChanged();
    if (!changed.isEmpty())
        repaint(changed);
    // Deadlines are counted from the start, so the timer's rounding to milliseconds averages
    // out to the exact refresh rate; one that has already passed is a refresh missed.
    m_nextDeadlineNs += m_periodNs;
    schedule();
    // The next frame shows the scene at its own time.
    startEyes(double(m_nextDeadlineNs) / 1e9);
}

void DemoWindow::schedule() {
    const qint64 now = m_clock.nsecsElapsed();
    while (m_nextDeadlineNs <= now)
        m_nextDeadlineNs += m_periodNs;
    m_timer.start(int((m_nextDeadlineNs - now) / 1000000));
}

void DemoWindow::paintEvent(QPaintEvent *event) {
    // A frame being drawn ahead is finished before it is copied; what it changed still goes out
    // at its own time.
    m_eyes.wait();
    const QRect scene = nativeSceneRect();
    const QSize eye = eyeSize(scene);
    // Qt asks for the whole window at a new size, before the next frame's time.
    if (m_eyes.left().picture().size() != eye) {
        startEyes(double(m_clock.nsecsElapsed()) / 1e9);
        m_eyes.wait();
    }

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
    copy(m_eyes.left(), scene.topLeft());
    copy(m_eyes.right(), scene.topLeft() + QPoint(eye.width(), 0));
    for (const QRect &rect : outside)
        painter.fillRect(rect, Qt::black);
    // The scene never reaches under the caption, so a frame's paint leaves it alone and only an
    // exposure draws it again.
    const QRect caption = captionRect();
    if (event->region().intersects(caption)) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(Qt::white);
        const int margin = fontMetrics().height() / 2;
        painter.setClipRegion(event->region() & caption);
        painter.drawText(caption.adjusted(margin, margin, -margin, -margin), Qt::TextWordWrap,
                         m_caption);
    }
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
