#pragma once

#include <QRect>
#include <QString>
#include <QVector>

#include <optional>

class QScreen;

// Which display the demo shows on, decided from plain rectangles so that it does not depend on
// a live desktop.
struct DisplayChoice {
    // What the demo knows of a headset before it chooses a display: whether there is one at all,
    // and where its display is.
    struct Headset {
        // Empty when no headset is known: neither a display that is a headset's nor one on USB.
        QString name;
        // The headset display's rectangle while it is on the desktop.
        std::optional<QRect> rect;
        // Why its display cannot be shown on, in words for the user; empty when it is on the
        // desktop.
        QString unusable;

        bool isKnown() const { return !name.isEmpty(); }
    };

    enum class Reason {
        Headset,
        Adapter,
        // The display asked for is missing.
        Primary,
        // A headset is known but its display cannot be shown on: never anyone's monitor then.
        HeadsetUnusable,
    };

    int index = 0;
    Reason reason = Reason::Primary;
    // A line for the user where the choice is not what they asked for; empty otherwise.
    QString note;

    // Full screen only on the display that was meant: a window elsewhere is less of a surprise
    // than taking over the user's own monitor.
    bool mayFillScreen() const { return reason == Reason::Headset || reason == Reason::Adapter; }

    // `screens` are the displays' rectangles in desktop pixels, in the order -adapter counts
    // them. -adapter is followed only while no headset is known: the utility passes one whatever
    // the desktop, and with a headset whose display is away it would name one of the user's
    // monitors.
    static DisplayChoice choose(const QVector<QRect> &screens, int primary, const Headset &headset,
                                int adapter);
};

// The screen's rectangle in the desktop's own pixels, which is how the headset finder reports
// it. Qt's high-DPI scaling keeps a screen's top left and shrinks only its size.
QRect nativeGeometry(const QScreen *screen);
