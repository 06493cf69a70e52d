#pragma once

namespace hlx {

// The colour of light from a black body, as a display shows white at that colour temperature.
class BlackBody {
public:
    struct Chromaticity {
        double x;
        double y;
    };
    struct Rgb {
        double red;
        double green;
        double blue;
    };

    // Where the temperature lies on the black-body curve in CIE 1931 xy, 1667 K to 25000 K
    // (clamped outside).
    static Chromaticity chromaticity(double kelvin);
    // What each channel of a display's gamma-encoded levels is multiplied by to show white at
    // that temperature: 6500 K, the desktop's own white, is 1 for all three, and the strongest
    // channel is always 1.
    static Rgb whitePoint(double kelvin);
};

} // namespace hlx
