#include "ScreenGrabber.h"

#include <QRegion>

#include <cmath>

void ScreenGrabber::follow(const QRect &rect, double refreshHz) {
    m_refreshHz = refreshHz;
    m_periodMs = refreshHz > 1 ? int(std::floor(1000.0 / refreshHz)) : 16;
    if (rect == m_rect)
        return;
    if (reading())
        stop();
    m_frame = QImage();
    m_rect = rect;
    if (reading())
        start();
    emit frameChanged();
}

void ScreenGrabber::setShown(bool shown) {
    if (shown == m_shown)
        return;
    if (reading())
        stop();
    m_shown = shown;
    if (reading())
        start();
}

bool ScreenGrabber::counts(const QRect &area) const {
    return !(QRegion(area.intersected(m_rect)) - QRegion(m_ownWindow)).isEmpty();
}
