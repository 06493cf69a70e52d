#include "DisplayChoice.h"

#include <QScreen>

#include <cmath>

DisplayChoice DisplayChoice::choose(const QVector<QRect> &screens, int primary,
                                    const std::optional<QRect> &headset, int adapter) {
    DisplayChoice choice;
    QString headsetNote;
    if (headset) {
        // A mirrored or rotated display may not match to the pixel; the screen that shares most
        // of the headset's rectangle is then the one it is shown on.
        int best = -1;
        qint64 bestArea = 0;
        for (int i = 0; i < screens.size(); ++i) {
            const QRect common = screens.at(i).intersected(*headset);
            const qint64 area =
                qint64(common.width()) * common.height() + (screens.at(i) == *headset ? 1 : 0);
            if (area > bestArea) {
                best = i;
                bestArea = area;
            }
        }
        if (best >= 0) {
            choice.index = best;
            choice.reason = Reason::Headset;
            return choice;
        }
        headsetNote = QStringLiteral("the headset's display is on no screen Qt knows; ");
    }
    if (adapter >= 0 && adapter < screens.size()) {
        choice.index = adapter;
        choice.reason = Reason::Adapter;
        choice.note = headsetNote.isEmpty()
                          ? QString()
                          : headsetNote + QStringLiteral("using -adapter %1").arg(adapter);
        return choice;
    }
    choice.index = qBound(0, primary, int(screens.size()) - 1);
    choice.reason = Reason::Primary;
    choice.note =
        headsetNote + QStringLiteral("there is no display %1 (there are %2, counted from 0); "
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
