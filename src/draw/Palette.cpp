#include "draw/Palette.h"

namespace tessera {

bool isDarkAppearance = false;

namespace palette {

double brightness() {
    return isDarkAppearance ? 0.75 : 1.0;
}

MyColor file(double hue, double alpha) {
    return MyColor::fromHue(hue, kSaturation, brightness(), alpha);
}

MyColor merged(double alpha) {
    return MyColor::grey(isDarkAppearance ? 0.4 : 0.7, alpha);
}

double strokeGrey() {
    return isDarkAppearance ? 1.0 : 0.0;
}

MyColor border(double alpha) {
    return MyColor::grey(strokeGrey(), alpha);
}

MyColor activeFile(double hue) {
    return MyColor::fromHue(hue, kSaturation, brightness() * 0.7, 1.0);
}

MyColor activeMerged() {
    return MyColor::grey((isDarkAppearance ? 0.4 : 0.7) * 0.8, 1.0);
}

double backgroundGrey() {
    return isDarkAppearance ? 0.2 : 0.93;
}

MyColor labelText(bool secondary) {
    if (secondary)
        return MyColor::grey(isDarkAppearance ? 1.0 : 0.0, isDarkAppearance ? 0.55 : 0.5);
    return MyColor::grey(isDarkAppearance ? 1.0 : 0.0, 0.85);
}

MyColor activeLabelBackground() {
    return MyColor::grey(isDarkAppearance ? 0.2 : 0.93, 0.85);
}

MyColor activeLabelBorder() {
    return MyColor::grey(strokeGrey(), 0.5);
}

} // namespace palette
} // namespace tessera
