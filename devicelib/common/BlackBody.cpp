#include "BlackBody.h"

#include <algorithm>
#include <cmath>

namespace hlx {

namespace {

// The black-body curve as the cubic spline of Kim et al., "Design of Advanced Color Temperature
// Control System for HDTV Applications", Journal of the Korean Physical Society 41 (6), 2002,
// pp. 865-871: x from 1e9/T^3, 1e6/T^2, 1e3/T and 1, y from x^3, x^2, x and 1, each piece valid
// from its lower temperature up to the next piece's.
struct Piece {
    double fromKelvin;
    double coefficients[4];
};
constexpr Piece xPieces[] = {
    {1667, {-0.2661239, -0.2343589, 0.8776956, 0.179910}},
    {4000, {-3.0258469, 2.1070379, 0.2226347, 0.240390}},
};
constexpr Piece yPieces[] = {
    {1667, {-1.1063814, -1.34811020, 2.18555832, -0.20219683}},
    {2222, {-0.9549476, -1.37418593, 2.09137015, -0.16748867}},
    {4000, {3.0817580, -5.87338670, 3.75112997, -0.37001483}},
};

constexpr double lowestKelvin = 1667;
constexpr double highestKelvin = 25000;
// Displays encode their levels with a power of about 2.2, so a factor on linear light is this
// power of itself on the levels.
constexpr double displayGamma = 2.2;
constexpr double desktopWhiteKelvin = 6500;

template <size_t count> const Piece &pieceFor(const Piece (&pieces)[count], double kelvin) {
    const Piece *piece = &pieces[0];
    for (const Piece &candidate : pieces) {
        if (kelvin >= candidate.fromKelvin)
            piece = &candidate;
    }
    return *piece;
}

double cubic(const double (&c)[4], double t) {
    return ((c[0] * t + c[1]) * t + c[2]) * t + c[3];
}

// Linear sRGB (D65) of a chromaticity at unit luminance: IEC 61966-2-1's matrix.
BlackBody::Rgb linearRgb(BlackBody::Chromaticity c) {
    const double X = c.x / c.y;
    const double Z = (1.0 - c.x - c.y) / c.y;
    return {3.2404542 * X - 1.5371385 - 0.4985314 * Z, -0.9692660 * X + 1.8760108 + 0.0415560 * Z,
            0.0556434 * X - 0.2040259 + 1.0572252 * Z};
}

} // namespace

BlackBody::Chromaticity BlackBody::chromaticity(double kelvin) {
    const double t = std::clamp(kelvin, lowestKelvin, highestKelvin);
    const double x = cubic(pieceFor(xPieces, t).coefficients, 1000.0 / t);
    const double y = cubic(pieceFor(yPieces, t).coefficients, x);
    return {x, y};
}

BlackBody::Rgb BlackBody::whitePoint(double kelvin) {
    const Rgb light = linearRgb(chromaticity(kelvin));
    const Rgb white = linearRgb(chromaticity(desktopWhiteKelvin));
    Rgb relative{std::max(0.0, light.red / white.red), std::max(0.0, light.green / white.green),
                 std::max(0.0, light.blue / white.blue)};
    const double strongest = std::max({relative.red, relative.green, relative.blue});
    const auto encoded = [strongest](double channel) {
        return std::pow(channel / strongest, 1.0 / displayGamma);
    };
    return {encoded(relative.red), encoded(relative.green), encoded(relative.blue)};
}

} // namespace hlx
