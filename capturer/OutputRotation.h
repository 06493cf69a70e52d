#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// How an area of a turned output lies in the image a duplication of that output hands over,
// which keeps the panel's own orientation: a display turned to portrait is duplicated in
// landscape, and its changed rectangles come in the image's coordinates.
class OutputRotation {
public:
    // Clockwise from the image to the desktop, as DXGI_MODE_ROTATION counts from IDENTITY on.
    enum class Turn { None, Quarter, Half, ThreeQuarters };

    // An area that the desktop shows at `upright`'s size, with its top left corner at 0, 0.
    OutputRotation(Turn turn, const QSize &upright);

    QSize imageSize() const;
    // Where `upright`, in the area's desktop coordinates, lies in the image.
    QRect toImage(const QRect &upright) const;
    // Where `inImage` shows on the desktop, in the area's coordinates.
    QRect toUpright(const QRect &inImage) const;
    // Copies `part` (desktop coordinates) of the area from `image` into the same place of
    // `upright`, turned as the desktop shows it; both are QImage::Format_RGB32.
    void copyUpright(const QImage &image, const QRect &part, QImage &upright) const;

private:
    Turn m_turn;
    QSize m_upright;
};
