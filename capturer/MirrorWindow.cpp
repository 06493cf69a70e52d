#include "MirrorWindow.h"

#include "HeadsetDisplayFinder.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>

MirrorWindow::MirrorWindow(std::unique_ptr<ScreenGrabber> grabber,
                           std::unique_ptr<LeasedDisplayFrames> leasedFrames)
    : m_grabber(std::move(grabber))
    , m_leasedFrames(std::move(leasedFrames)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 90);

    // The toolkit's screens follow RandR on X11 and WM_DISPLAYCHANGE on Windows, and the grabber
    // adds what they leave out (an EDID set, an output kept off the desktop). A change comes as
    // a burst of notices, which one look answers.
    m_look.setSingleShot(true);
    m_look.setInterval(50);
    connect(&m_look, &QTimer::timeout, this, &MirrorWindow::lookForHeadset);
    connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen *screen) {
        watchScreen(screen);
        lookSoon();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, &MirrorWindow::lookSoon);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &MirrorWindow::lookSoon);
    for (QScreen *screen : QGuiApplication::screens())
        watchScreen(screen);
    if (m_grabber) {
        connect(m_grabber.get(), &ScreenGrabber::frameChanged, this, qOverload<>(&QWidget::update));
        connect(m_grabber.get(), &ScreenGrabber::displaysChanged, this, &MirrorWindow::lookSoon);
    }
    if (m_leasedFrames) {
        connect(m_leasedFrames.get(), &LeasedDisplayFrames::frameChanged, this,
                qOverload<>(&QWidget::update));
        connect(m_leasedFrames.get(), &LeasedDisplayFrames::heldOutputChanged, this,
                &MirrorWindow::lookForHeadset);
        connect(m_leasedFrames.get(), &LeasedDisplayFrames::holderWindowMoved, this,
                &MirrorWindow::placeAwayFromDemo);
    }

    lookForHeadset();
    placeAwayFromHeadset(true);
}

QRect MirrorWindow::letterbox(const QSize &source, const QRect &area) {
    if (source.isEmpty() || area.isEmpty())
        return QRect();
    const QSize fitted = source.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.x() + (area.width() - fitted.width()) / 2,
                 area.y() + (area.height() - fitted.height()) / 2, fitted.width(), fitted.height());
}

QString MirrorWindow::sentence(const hlx::HeadsetDisplay &display) {
    switch (display.place) {
    case hlx::HeadsetDisplay::Place::Desktop:
        return QString();
    case hlx::HeadsetDisplay::Place::OffDesktop: {
        QString why = QString::fromStdString(display.why);
        if (!why.endsWith(QLatin1Char('.')))
            why += QLatin1Char('.');
        return tr("The headset's display (%1) is not on the desktop, so there is nothing to "
                  "mirror: %2")
            .arg(QString::fromStdString(display.output), why);
    }
    case hlx::HeadsetDisplay::Place::None:
        break;
    }
    return tr("No headset display is connected.");
}

void MirrorWindow::lookForHeadset() {
    m_display = hlx::HeadsetDisplayFinder().find();
    const auto &r = m_display.rect;
    const bool onDesktop =
        m_display.place == hlx::HeadsetDisplay::Place::Desktop && r.width > 0 && r.height > 0;
    m_headsetRect = onDesktop ? QRect(r.x, r.y, r.width, r.height) : QRect();
    // The X server may hide a leased output, and with it the headset's display, from its
    // clients; the demo leases nothing but a headset's display.
    const QString held = m_leasedFrames ? m_leasedFrames->heldOutput() : QString();
    m_direct = !held.isEmpty() && (m_display.place == hlx::HeadsetDisplay::Place::None ||
                                   (m_display.place == hlx::HeadsetDisplay::Place::OffDesktop &&
                                    held == QString::fromStdString(m_display.output)));
    m_sentence = onDesktop || m_direct ? QString() : sentence(m_display);
    if (!onDesktop && m_display.place == hlx::HeadsetDisplay::Place::Desktop)
        m_sentence = tr("The headset's display has no size on the desktop.");
    if (m_grabber)
        m_grabber->follow(m_headsetRect, m_display.refreshHz);
    else if (onDesktop)
        m_sentence = tr("This desktop cannot be read, so the headset's display cannot be shown.");
    followVisibility();

    QString headset = QString::fromStdString(m_display.headset);
    if (headset.isEmpty() && m_direct)
        headset = held;
    QString title =
        headset.isEmpty() ? QStringLiteral("Pictor") : QStringLiteral("Pictor — %1").arg(headset);
    if (m_direct)
        title = tr("%1 in direct mode").arg(title);
    setWindowTitle(title);
    if (isVisible()) {
        placeAwayFromHeadset(false);
        placeAwayFromDemo();
    }
    update();
}

void MirrorWindow::lookSoon() {
    m_look.start();
}

void MirrorWindow::watchScreen(QScreen *screen) {
    connect(screen, &QScreen::geometryChanged, this, &MirrorWindow::lookSoon);
}

void MirrorWindow::placeAwayFromHeadset(bool firstTime) {
    if (!firstTime && !frameGeometry().intersects(m_headsetRect))
        return;
    QScreen *home = nullptr;
    QList<QScreen *> screens = QGuiApplication::screens();
    screens.prepend(QGuiApplication::primaryScreen());
    for (QScreen *screen : screens) {
        if (screen && !screen->geometry().intersects(m_headsetRect)) {
            home = screen;
            break;
        }
    }
    // A desktop that is all headset has nowhere else to put us.
    if (!home)
        home = QGuiApplication::primaryScreen();
    if (!home)
        return;
    const QRect available = home->availableGeometry();
    QSize size = firstTime ? available.size() / 2 : this->size();
    if (firstTime && !m_headsetRect.isEmpty())
        size = m_headsetRect.size().scaled(size, Qt::KeepAspectRatio);
    size = size.boundedTo(available.size());
    setGeometry(QRect(available.x() + (available.width() - size.width()) / 2,
                      available.y() + (available.height() - size.height()) / 2, size.width(),
                      size.height()));
}

void MirrorWindow::placeAwayFromDemo() {
    const QRect demo = m_leasedFrames ? m_leasedFrames->holderWindow() : QRect();
    if (!m_direct || !isVisible() || demo.isEmpty() || !frameGeometry().intersects(demo))
        return;
    const QScreen *home = screen();
    if (!home)
        return;
    const QRect available = home->availableGeometry();
    // The bands of the screen above, below, left and right of the demo's window: the window
    // goes, its shape kept, into the one where it can be largest.
    const QRect bands[] = {
        QRect(available.topLeft(), QPoint(available.right(), demo.top() - 1)),
        QRect(QPoint(available.left(), demo.bottom() + 1), available.bottomRight()),
        QRect(available.topLeft(), QPoint(demo.left() - 1, available.bottom())),
        QRect(QPoint(demo.right() + 1, available.top()), available.bottomRight()),
    };
    const QMargins frame(geometry().left() - frameGeometry().left(),
                         geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    QRect best;
    for (const QRect &band : bands) {
        const QRect inside = band.intersected(available) - frame;
        const QSize fitted = size().scaled(inside.size(), Qt::KeepAspectRatio).boundedTo(size());
        if (!inside.isEmpty() && fitted.width() > best.width())
            best = QRect(inside.x() + (inside.width() - fitted.width()) / 2,
                         inside.y() + (inside.height() - fitted.height()) / 2, fitted.width(),
                         fitted.height());
    }
    // Too small to show anything: it stays where it is, under the demo's window.
    if (best.width() < minimumWidth() || best.height() < minimumHeight())
        return;
    setGeometry(best);
}

void MirrorWindow::followVisibility() {
    const QWindow *window = windowHandle();
    const bool seen = window && window->isExposed() && !isMinimized();
    if (m_grabber)
        m_grabber->setShown(seen);
    if (m_leasedFrames)
        m_leasedFrames->setReading(seen && m_direct);
}

bool MirrorWindow::eventFilter(QObject *watched, QEvent *event) {
    // The toolkit keeps exposure on the native window and tells the widget nothing of it.
    if (watched == windowHandle() && event->type() == QEvent::Expose)
        followVisibility();
    return QWidget::eventFilter(watched, event);
}

void MirrorWindow::changeEvent(QEvent *event) {
    if (event->type() == QEvent::WindowStateChange)
        followVisibility();
    QWidget::changeEvent(event);
}

void MirrorWindow::showEvent(QShowEvent *event) {
    if (QWindow *window = windowHandle()) {
        window->removeEventFilter(this);
        window->installEventFilter(this);
    }
    QWidget::showEvent(event);
}

void MirrorWindow::moveEvent(QMoveEvent *event) {
    if (m_grabber)
        m_grabber->ignore(frameGeometry());
    QWidget::moveEvent(event);
}

void MirrorWindow::resizeEvent(QResizeEvent *event) {
    if (m_grabber)
        m_grabber->ignore(frameGeometry());
    QWidget::resizeEvent(event);
}

void MirrorWindow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QImage &frame = this->frame();
    if (!m_sentence.isEmpty() || frame.isNull()) {
        painter.fillRect(rect(), QColor(32, 32, 32));
        painter.setPen(QColor(230, 230, 230));
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.4);
        painter.setFont(font);
        const int margin = qMax(12, width() / 12);
        painter.drawText(rect().adjusted(margin, margin, -margin, -margin),
                         Qt::AlignCenter | Qt::TextWordWrap, m_sentence);
        return;
    }
    const QRect target = letterbox(frame.size(), rect());
    // Only the bands the picture leaves, so that no pixel is painted twice a frame.
    const QRegion bands = QRegion(rect()) - QRegion(target);
    for (const QRect &band : bands)
        painter.fillRect(band, Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame);
}

const QImage &MirrorWindow::frame() const {
    static const QImage none;
    if (m_direct)
        return m_leasedFrames->frame();
    return m_grabber ? m_grabber->frame() : none;
}
