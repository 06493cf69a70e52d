#pragma once

#include <QPointF>
#include <QSizeF>

#include <optional>

// Scene coordinates are metres, right-handed: x to the right, y up, and a viewer who looks
// along -z.
struct Vec3 {
    double x = 0;
    double y = 0;
    double z = 0;

    Vec3 operator+(const Vec3 &o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3 &o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double dot(const Vec3 &o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 cross(const Vec3 &o) const {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    Vec3 normalized() const;
};

enum class Eye { Left, Right };

// Two pinhole cameras with parallel axes, one interpupillary distance apart, as a headset's
// optics want them: converging the axes would give far objects a disparity that no real scene
// has, and the eyes would have to diverge to fuse them.
class StereoCamera {
public:
    static constexpr double interpupillaryDistance = 0.064;
    // Anything closer than this is clipped away, so nothing is projected from behind the eye
    // or blows up next to it.
    static constexpr double nearPlane = 0.05;

    // `eyeSize` is one eye's half of the picture, in pixels.
    explicit StereoCamera(QSizeF eyeSize, double horizontalFovDegrees = 90.0);

    void setHead(const Vec3 &position) { m_head = position; }
    Vec3 eyePosition(Eye eye) const;
    // Pixels per unit of x/z at unit distance: a point x metres to the side at distance d lands
    // focalLength * x / d pixels from the centre.
    double focalLength() const { return m_focal; }
    QPointF centre() const { return {m_eyeSize.width() / 2, m_eyeSize.height() / 2}; }

    // In the eye's own frame: the eye at the origin, looking along -z.
    Vec3 toEyeSpace(Eye eye, const Vec3 &world) const { return world - eyePosition(eye); }
    // Within the eye's own half, origin at its top left; the point must lie beyond the near
    // plane.
    QPointF projectEyeSpace(const Vec3 &eyeSpace) const;
    // Empty for a point behind the eye or closer than the near plane.
    std::optional<QPointF> project(Eye eye, const Vec3 &world) const;

private:
    QSizeF m_eyeSize;
    double m_focal;
    Vec3 m_head;
};
