#pragma once

#include "StereoCamera.h"

#include <QColor>
#include <QPolygonF>
#include <QSizeF>

#include <vector>

class QPainter;

// A small world seen by both eyes: ground grid to the horizon, a few shaded solids that spin and
// drift, and a fixation cross at each eye's centre to converge on. Only the solids move, so an
// eye's picture is the still part, drawn once, with the solids over it.
class StereoScene {
public:
    // A solid's face as one eye sees it, shaded.
    struct Shape {
        QPolygonF polygon;
        QColor colour;
    };

    StereoScene();

    // The cameras of both eyes for pictures of `eyeSize` pixels each.
    StereoCamera camera(QSizeF eyeSize) const;
    // Sky, ground and its grid, which never move.
    void paintStill(QPainter &painter, const StereoCamera &camera, Eye eye) const;
    // The faces the eye sees at `seconds` on the scene's clock, the farthest first.
    std::vector<Shape> movingShapes(const StereoCamera &camera, Eye eye, double seconds) const;
    static void paintShapes(QPainter &painter, const std::vector<Shape> &shapes);
    // Over the solids, as the eyes converge on it.
    static void paintFixationCross(QPainter &painter, const StereoCamera &camera);

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

    std::vector<Face> facesAt(double seconds) const;

    std::vector<Solid> m_solids;
    Vec3 m_head;
};
