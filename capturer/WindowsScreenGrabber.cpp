#include "WindowsScreenGrabber.h"

#include "DuplicationScreenGrabber.h"
#include "GdiScreenGrabber.h"

#include <windows.h>

namespace {

void tell(const QString &what) {
    OutputDebugStringW(
        reinterpret_cast<const wchar_t *>(QStringLiteral("Pictor: %1\n").arg(what).utf16()));
}

} // namespace

WindowsScreenGrabber::WindowsScreenGrabber()
    : m_duplication(std::make_unique<DuplicationScreenGrabber>())
    , m_copying(std::make_unique<GdiScreenGrabber>()) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &WindowsScreenGrabber::tryDuplication);
    connect(m_duplication.get(), &DuplicationScreenGrabber::working, this, [this] {
        m_choice.working();
        if (m_copyingShown)
            takeFrom(m_copying.get());
        m_copying->setShown(false);
        m_copyingShown = false;
    });
    connect(m_duplication.get(), &DuplicationScreenGrabber::failed, this,
            &WindowsScreenGrabber::duplicationFailed);
    for (ScreenGrabber *grabber : {static_cast<ScreenGrabber *>(m_duplication.get()),
                                   static_cast<ScreenGrabber *>(m_copying.get())}) {
        connect(grabber, &ScreenGrabber::frameChanged, this, [this, grabber] {
            if (!grabber->frame().isNull()) {
                m_held = QImage();
                emit frameChanged();
            }
        });
        connect(grabber, &ScreenGrabber::displaysChanged, this, &ScreenGrabber::displaysChanged);
    }
}

WindowsScreenGrabber::~WindowsScreenGrabber() {
    stop();
}

void WindowsScreenGrabber::ignore(const QRect &ownWindow) {
    ScreenGrabber::ignore(ownWindow);
    m_duplication->ignore(ownWindow);
    m_copying->ignore(ownWindow);
}

const QImage &WindowsScreenGrabber::frame() const {
    if (!m_held.isNull())
        return m_held;
    return m_copyingShown ? m_copying->frame() : m_duplication->frame();
}

void WindowsScreenGrabber::start() {
    m_duplication->follow(m_rect, refreshHz());
    m_copying->follow(m_rect, refreshHz());
    m_choice.begin();
    m_duplication->setShown(true);
    duplicationTried();
}

void WindowsScreenGrabber::stop() {
    m_retry.stop();
    m_duplication->setShown(false);
    m_copying->setShown(false);
    m_copyingShown = false;
    m_held = QImage();
}

void WindowsScreenGrabber::tryDuplication() {
    m_duplication->duplicateAgain();
    duplicationTried();
}

void WindowsScreenGrabber::duplicationTried() {
    if (!m_duplication->duplicating()) {
        duplicationFailed();
        return;
    }
    if (m_choice.way() == DuplicationFallback::Way::Copying)
        tell(QStringLiteral("duplicating the headset's display again"));
    m_choice.made();
    // Copying goes on until the duplication answers: it may be made and yet fail at once.
    follow();
}

void WindowsScreenGrabber::duplicationFailed() {
    m_choice.failed();
    tell(QStringLiteral("the headset's display cannot be duplicated (%1); %2, trying again in "
                        "%3 ms")
             .arg(m_duplication->failure(), m_choice.way() == DuplicationFallback::Way::Copying
                                                ? QStringLiteral("copying it")
                                                : QStringLiteral("keeping the last picture"))
             .arg(m_choice.retryMs()));
    follow();
}

void WindowsScreenGrabber::follow() {
    const bool copying = m_choice.way() == DuplicationFallback::Way::Copying;
    if (copying && !m_copyingShown) {
        takeFrom(m_duplication.get());
        m_copying->setShown(true);
        m_copyingShown = true;
    }
    if (m_choice.retryMs() > 0)
        m_retry.start(m_choice.retryMs());
}

void WindowsScreenGrabber::takeFrom(ScreenGrabber *grabber) {
    if (m_held.isNull() && !grabber->frame().isNull())
        m_held = grabber->frame().copy();
}
