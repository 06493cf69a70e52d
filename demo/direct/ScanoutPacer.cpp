#include "ScanoutPacer.h"

#include "DrmScanout.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

qint64 monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void copyRect(const QImage &from, QPoint fromOrigin, QImage &to, const QRect &rect) {
    const int bytes = rect.width() * 4;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        std::memcpy(to.scanLine(y) + rect.left() * 4,
                    from.constScanLine(y - fromOrigin.y()) + (rect.left() - fromOrigin.x()) * 4,
                    size_t(bytes));
}

} // namespace

ScanoutPacer::ScanoutPacer(DrmScanout &scanout, DirectModeHooks::FrameAsked frameAsked,
                           QObject *parent)
    : QObject(parent)
    , m_scanout(scanout)
    , m_frameAsked(std::move(frameAsked))
    , m_eyeSize(std::max(1, scanout.size().width() / 2), scanout.size().height()) {
    const double hz = scanout.refreshHz();
    m_periodNs = qint64(1e9 / (hz >= 1.0 ? hz : 60.0));
    m_scanout.onFlipDone = [this](qint64 vblankNs) { flipped(vblankNs); };
}

ScanoutPacer::~ScanoutPacer() {
    m_scanout.onFlipDone = nullptr;
}

bool ScanoutPacer::start(QString *problem) {
    m_startNs = monotonicNs();
    const QRect whole(QPoint(), m_scanout.size());
    // A buffer fresh from the driver holds nothing of the picture, not even the black
    // between the eyes of an odd width.
    for (int index = 0; index < 2; ++index) {
        m_scanout.buffer(index).fill(Qt::black);
        m_behind[size_t(index)] = whole;
    }
    startEyes(m_startNs);
    m_changedBy[0] = whole;
    takeChanged();
    catchUp(0);
    if (!m_scanout.show(0, problem))
        return false;
    tellAsked(whole);
    startEyes(m_startNs + m_periodNs);
    m_changedBy[1] = takeChanged();
    catchUp(1);
    if (!m_scanout.flip(1, problem))
        return false;
    m_flipping = 1;
    tellAsked(m_changedBy[1]);
    startEyes(m_startNs + 2 * m_periodNs);
    return true;
}

void ScanoutPacer::stop() {
    m_stopped = true;
}

void ScanoutPacer::flipped(qint64 vblankNs) {
    if (m_stopped)
        return;
    const int next = 1 - m_flipping;
    m_changedBy[size_t(next)] = takeChanged();
    catchUp(next);
    QString problem;
    if (!m_scanout.flip(next, &problem)) {
        m_stopped = true;
        emit failed(problem);
        return;
    }
    m_flipping = next;
    tellAsked(m_changedBy[size_t(next)]);
    // This flip shows at the next blank; the frame begun now, at the one after.
    startEyes(vblankNs + 2 * m_periodNs);
}

void ScanoutPacer::startEyes(qint64 ns) {
    m_eyes.start(m_eyeSize, double(ns - m_startNs) / 1e9);
}

QRegion ScanoutPacer::takeChanged() {
    const EyePainters::Changed eyes = m_eyes.takeChanged();
    const QRegion changed = eyes.left + eyes.right.translated(m_eyeSize.width(), 0);
    for (QRegion &behind : m_behind)
        behind += changed;
    return changed;
}

void ScanoutPacer::catchUp(int index) {
    QImage &buffer = m_scanout.buffer(index);
    const QRect leftArea(QPoint(), m_eyeSize);
    const QRect rightArea(QPoint(m_eyeSize.width(), 0), m_eyeSize);
    for (const QRect &rect : m_behind[size_t(index)]) {
        const QRect left = rect & leftArea;
        if (!left.isEmpty())
            copyRect(m_eyes.left().picture(), leftArea.topLeft(), buffer, left);
        const QRect right = rect & rightArea;
        if (!right.isEmpty())
            copyRect(m_eyes.right().picture(), rightArea.topLeft(), buffer, right);
    }
    m_behind[size_t(index)] = QRegion();
}

void ScanoutPacer::tellAsked(const QRegion &changed) {
    if (m_frameAsked)
        m_frameAsked(
            {m_scanout.size(), m_eyes.left().picture(), m_eyes.right().picture(), changed});
}
