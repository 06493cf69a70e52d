#include "DisplayChoice.h"

#include <QScreen>

#include <cmath>

namespace {

// The screen that shares most of the headset's rectangle: a mirrored or rotated display may not
// match it to the pixel. -1 if none does.
int screenOf(const QVector<QRect> &screens, const QRect &headset) {
    int best = -1;
    qint64 bestArea = 0;
    for (int i = 0; i < screens.size(); ++i) {
        const QRect common = screens.at(i).intersected(headset);
        const qint64 area =
            qint64(common.width()) * common.height() + (screens.at(i) == headset ? 1 : 0);
        if (area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    return best;
}

} // namespace

DisplayChoice DisplayChoice::choose(const QVector<QRect> &screens, int primary,
                                    const Headset &headset, int adapter) {
    DisplayChoice choice;
    choice.index = qBound(0, primary, int(screens.size()) - 1);
    if (headset.isKnown()) {
        const int onScreen = headset.rect ? screenOf(screens, *headset.rect) : -1;
        if (onScreen >= 0) {
            choice.index = onScreen;
            choice.reason = Reason::Headset;
            return choice;
        }
        const QString unusable = headset.unusable.isEmpty()
                                     ? QStringLiteral("its display is on no screen Qt knows")
                                     : headset.unusable;
        choice.reason = Reason::HeadsetUnusable;
        choice.note = QStringLiteral("the display of %1 cannot be shown on: %2; showing a window "
                                     "on the primary display rather than on any other")
                          .arg(headset.name, unusable);
        return choice;
    }
    if (adapter >= 0 && adapter < screens.size()) {
        choice.index = adapter;
        choice.reason = Reason::Adapter;
        return choice;
    }
    choice.reason = Reason::Primary;
    choice.note = QStringLiteral("there is no display %1 (there are %2, counted from 0); "
                                 "showing a window on the primary display")
                      .arg(adapter)
                      .arg(screens.size());
    return choice;
}

QRect nativeGeometry(const QScreen *screen) {
    const QRect geometry = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    return QRect(geometry.topLeft(), QSize(int(std::lround(geometry.width() * ratio)),
                                           int(std::lround(geometry.height() * ratio))));
}
