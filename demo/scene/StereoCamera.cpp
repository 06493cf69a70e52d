#include "StereoCamera.h"

#include <cmath>

namespace {
constexpr double pi = 3.14159265358979323846;
}

Vec3 Vec3::normalized() const {
    const double length = std::sqrt(dot(*this));
    return length > 0 ? *this * (1.0 / length) : *this;
}

StereoCamera::StereoCamera(QSizeF eyeSize, double horizontalFovDegrees)
    : m_eyeSize(eyeSize)
    , m_focal(eyeSize.width() / 2 / std::tan(horizontalFovDegrees * pi / 360.0)) {}

Vec3 StereoCamera::eyePosition(Eye eye) const {
    const double half = interpupillaryDistance / 2;
    return m_head + Vec3{eye == Eye::Left ? -half : half, 0, 0};
}

QPointF StereoCamera::projectEyeSpace(const Vec3 &eyeSpace) const {
    const double depth = -eyeSpace.z;
    return centre() + QPointF(m_focal * eyeSpace.x / depth, -m_focal * eyeSpace.y / depth);
}

std::optional<QPointF> StereoCamera::project(Eye eye, const Vec3 &world) const {
    const Vec3 local = toEyeSpace(eye, world);
    if (-local.z < nearPlane)
        return std::nullopt;
    return projectEyeSpace(local);
}
