// The colour of vertices and shape operations, and its construction from hue, saturation and
// brightness.
#pragma once

namespace tessera {

struct DrawColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;

    /// Hue 0...1 (1.0 and above wrap to red), saturation, brightness and alpha as fractions.
    static DrawColor fromHue(double hue, double saturation, double brightness, double alpha);
    static DrawColor grey(double white, double alpha) { return {white, white, white, alpha}; }

    friend bool operator==(const DrawColor&, const DrawColor&) = default;
};

} // namespace tessera
