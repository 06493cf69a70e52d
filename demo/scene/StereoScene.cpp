#include "StereoScene.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

// Clips a polygon in eye space against the near plane, so that a face reaching past the eye is
// cut where it passes the plane instead of being projected through it.
std::vector<Vec3> clipToNearPlane(const std::vector<Vec3> &polygon) {
    std::vector<Vec3> clipped;
    const auto inFront = [](const Vec3 &p) { return -p.z >= StereoCamera::nearPlane; };
    for (size_t i = 0; i < polygon.size(); ++i) {
        const Vec3 &a = polygon[i];
        const Vec3 &b = polygon[(i + 1) % polygon.size()];
        if (inFront(a))
            clipped.push_back(a);
        if (inFront(a) != inFront(b)) {
            const double t = (-StereoCamera::nearPlane - a.z) / (b.z - a.z);
            clipped.push_back(a + (b - a) * t);
        }
    }
    return clipped;
}

Vec3 rotateY(const Vec3 &v, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}

const Vec3 towardsLight = Vec3{-0.4, 0.8, 0.45}.normalized();

} // namespace

StereoScene::StereoScene()
    : m_solids{
          {Solid::Shape::Cube, {0.0, 1.6, -3.0}, 0.5, QColor(220, 90, 60), 0.5, 0.0},
          {Solid::Shape::Pyramid, {-1.6, 0.0, -4.5}, 1.2, QColor(240, 200, 70), -0.3, 0.4},
          {Solid::Shape::Cube, {1.8, 0.5, -6.0}, 1.0, QColor(70, 140, 220), 0.2, 0.6},
          {Solid::Shape::Pyramid, {3.5, 0.0, -12.0}, 3.0, QColor(150, 110, 200), 0.1, 0.0},
          {Solid::Shape::Cube, {-4.0, 1.0, -14.0}, 2.0, QColor(90, 190, 120), -0.15, 1.0},
      }
    , m_head{0.0, 1.6, 0.0} {}

std::vector<StereoScene::Face> StereoScene::facesAt(double seconds) const {
    std::vector<Face> faces;
    for (const Solid &solid : m_solids) {
        const double angle = solid.spin * seconds;
        const Vec3 centre =
            solid.centre + Vec3{solid.drift * std::sin(seconds * 0.4 + solid.centre.z), 0, 0};
        const auto place = [&](double x, double y, double z) {
            return centre + rotateY(Vec3{x, y, z} * solid.size, angle);
        };
        if (solid.shape == Solid::Shape::Cube) {
            // A cube's centre is its middle, so it floats where it is put.
            std::vector<Vec3> v;
            v.reserve(8);
            for (int i = 0; i < 8; ++i)
                v.push_back(place(i & 1 ? 0.5 : -0.5, i & 2 ? 0.5 : -0.5, i & 4 ? 0.5 : -0.5));
            const int quads[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                     {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
            for (const auto &q : quads)
                faces.push_back({{v[q[0]], v[q[1]], v[q[2]], v[q[3]]}, solid.colour});
        } else {
            // A pyramid's centre is the middle of its base, so it stands on the ground.
            const Vec3 apex = place(0, 1, 0);
            const Vec3 base[4] = {place(-0.5, 0, -0.5), place(0.5, 0, -0.5), place(0.5, 0, 0.5),
                                  place(-0.5, 0, 0.5)};
            for (int i = 0; i < 4; ++i)
                faces.push_back({{base[(i + 1) % 4], base[i], apex}, solid.colour});
            faces.push_back({{base[0], base[1], base[2], base[3]}, solid.colour});
        }
    }
    return faces;
}

StereoCamera StereoScene::camera(QSizeF eyeSize) const {
    StereoCamera camera(eyeSize);
    camera.setHead(m_head);
    return camera;
}

void StereoScene::paintStill(QPainter &painter, const StereoCamera &camera, Eye eye) const {
    const QSizeF size(camera.centre().x() * 2, camera.centre().y() * 2);
    // The axes are level, so the horizon runs through the middle of each eye.
    const double horizon = camera.centre().y();
    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(185, 215, 240));
    painter.fillRect(QRectF(0, 0, size.width(), horizon), sky);
    QLinearGradient ground(0, horizon, 0, size.height());
    ground.setColorAt(0, QColor(120, 130, 110));
    ground.setColorAt(1, QColor(55, 75, 45));
    painter.fillRect(QRectF(0, horizon, size.width(), size.height() - horizon), ground);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(230, 240, 220, 150), 1.0));
    const auto drawGroundLine = [&](const Vec3 &a, const Vec3 &b) {
        const std::vector<Vec3> line =
            clipToNearPlane({camera.toEyeSpace(eye, a), camera.toEyeSpace(eye, b)});
        if (line.size() >= 2)
            painter.drawLine(camera.projectEyeSpace(line[0]), camera.projectEyeSpace(line[1]));
    };
    constexpr double reach = 40.0;
    for (int x = -20; x <= 20; x += 2)
        drawGroundLine({double(x), 0, 0.5}, {double(x), 0, -reach});
    for (int z = 0; z <= int(reach); z += 2)
        drawGroundLine({-20, 0, -double(z)}, {20, 0, -double(z)});
}

std::vector<StereoScene::Shape> StereoScene::movingShapes(const StereoCamera &camera, Eye eye,
                                                          double seconds) const {
    struct Projected {
        Shape shape;
        double depth;
    };
    std::vector<Projected> visible;
    const Vec3 eyeAt = camera.eyePosition(eye);
    for (const Face &face : facesAt(seconds)) {
        const Vec3 normal = (face.corners[1] - face.corners[0])
                                .cross(face.corners[2] - face.corners[0])
                                .normalized();
        if (normal.dot(face.corners[0] - eyeAt) >= 0)
            continue; // facing away
        std::vector<Vec3> local;
        double depth = 0;
        for (const Vec3 &corner : face.corners) {
            local.push_back(camera.toEyeSpace(eye, corner));
            depth += -local.back().z;
        }
        local = clipToNearPlane(local);
        if (local.size() < 3)
            continue;
        QPolygonF polygon;
        for (const Vec3 &p : local)
            polygon << camera.projectEyeSpace(p);
        const double light = 0.35 + 0.65 * std::max(0.0, normal.dot(towardsLight));
        const QColor c = face.colour;
        visible.push_back(
            {{polygon, QColor::fromRgbF(c.redF() * light, c.greenF() * light, c.blueF() * light)},
             depth / double(face.corners.size())});
    }
    // Painter's algorithm: the farthest first. The solids never interpenetrate, so their
    // faces' mean depths order them well enough.
    std::sort(visible.begin(), visible.end(),
              [](const Projected &a, const Projected &b) { return a.depth > b.depth; });
    std::vector<Shape> shapes;
    shapes.reserve(visible.size());
    for (Projected &p : visible)
        shapes.push_back(std::move(p.shape));
    return shapes;
}

void StereoScene::paintShapes(QPainter &painter, const std::vector<Shape> &shapes) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const Shape &shape : shapes) {
        painter.setBrush(shape.colour);
        painter.drawPolygon(shape.polygon);
    }
}

void StereoScene::paintFixationCross(QPainter &painter, const StereoCamera &camera) {
    // The cross sits at optical infinity in both eyes: converging on it relaxes the eyes as the
    // lenses expect.
    const QPointF c = camera.centre();
    const double arm = std::max(6.0, c.y() * 2 / 60);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, std::max(1.5, arm / 4)));
    painter.drawLine(c - QPointF(arm, 0), c + QPointF(arm, 0));
    painter.drawLine(c - QPointF(0, arm), c + QPointF(0, arm));
}
