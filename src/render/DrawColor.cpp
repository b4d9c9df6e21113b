#include "render/DrawColor.h"

namespace tessera {

DrawColor DrawColor::fromHue(double hue, double saturation, double brightness, double alpha) {
    const double v = brightness;
    if (saturation <= 0) return {v, v, v, alpha};
    const double x = hue * 360 >= 360 ? 0 : hue * 360 / 60;
    const auto i = static_cast<long>(x);
    const double f = x - static_cast<double>(i);
    const double p = (1 - saturation) * v;
    const double q = (1 - f * saturation) * v;
    const double t = (1 - (1 - f) * saturation) * v;
    switch (i) {
    case 0:
        return {v, t, p, alpha};
    case 1:
        return {q, v, p, alpha};
    case 2:
        return {p, v, t, alpha};
    case 3:
        return {p, q, v, alpha};
    case 4:
        return {t, p, v, alpha};
    default:
        return {v, p, q, alpha};
    }
}

} // namespace tessera
