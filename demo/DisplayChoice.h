#pragma once

#include <QRect>
#include <QString>
#include <QVector>

#include <optional>

class QScreen;

// Which display the demo shows on, decided from plain rectangles so that it does not depend on
// a live desktop.
struct DisplayChoice {
    enum class Reason { Headset, Adapter, Primary };

    int index = 0;
    Reason reason = Reason::Primary;
    // A line for the user where the choice is not what they asked for; empty otherwise.
    QString note;

    // `screens` are the displays' rectangles in desktop pixels, in the order -adapter counts
    // them; `headset` is the headset display's rectangle while it is on the desktop.
    static DisplayChoice choose(const QVector<QRect> &screens, int primary,
                                const std::optional<QRect> &headset, int adapter);
};

// The screen's rectangle in the desktop's own pixels, which is how the headset finder reports
// it. Qt's high-DPI scaling keeps a screen's top left and shrinks only its size.
QRect nativeGeometry(const QScreen *screen);
