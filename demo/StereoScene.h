#pragma once

#include "StereoCamera.h"

#include <QColor>
#include <QRectF>

#include <vector>

class QPainter;

// A small world seen by both eyes: ground grid to the horizon, a few shaded solids that spin and
// drift, and a fixation cross at each eye's centre to converge on.
class StereoScene {
public:
    StereoScene();

    // Left eye in the left half of `target`, right eye in the right half; `seconds` is the
    // scene's clock.
    void paint(QPainter &painter, const QRectF &target, double seconds) const;

private:
    struct Face {
        std::vector<Vec3> corners; // counter-clockwise seen from outside
        QColor colour;
    };
    struct Solid {
        enum class Shape { Cube, Pyramid } shape;
        Vec3 centre;
        double size;
        QColor colour;
        double spin;  // radians a second about the vertical axis
        double drift; // metres of sideways sway
    };

    void paintEye(QPainter &painter, const StereoCamera &camera, Eye eye,
                  const std::vector<Face> &faces) const;
    std::vector<Face> facesAt(double seconds) const;

    std::vector<Solid> m_solids;
    Vec3 m_head;
};
