#include "draw/Palette.h"

#include <algorithm>
#include <cmath>

namespace tessera {

bool isDarkAppearance = false;

namespace palette {

double brightness() {
    return isDarkAppearance ? 0.75 : 1.0;
}

double categoryHue(FileCategory category) {
    switch (category) {
    case FileCategory::programs:
        return 0.0;
    case FileCategory::images:
        return 0.08;
    case FileCategory::archives:
        return 0.15;
    case FileCategory::sourceCode:
        return 0.33;
    case FileCategory::diskImages:
        return 0.5;
    case FileCategory::documents:
        return 0.6;
    case FileCategory::audio:
        return 0.75;
    case FileCategory::video:
        return 0.88;
    case FileCategory::other:
        break;
    }
    return kOtherKindHue;
}

DrawColor file(double hue, double alpha) {
    if (hue >= kUnchangedHue - 1) {
        // Growth warm, shrinking cool, both deeper the larger the change; no change a grey
        // that the changes stand out from.
        const double strength = std::clamp(hue - kUnchangedHue, -1.0, 1.0);
        const double amount = std::abs(strength);
        const double neutral = isDarkAppearance ? 0.42 : 0.84;
        const DrawColor changed =
            DrawColor::fromHue(strength > 0 ? 0.02 : 0.6, kSaturation,
                               brightness() * (strength > 0 ? 1.0 : 0.95), alpha);
        const DrawColor grey = DrawColor::grey(neutral, alpha);
        return {grey.red + (changed.red - grey.red) * amount,
                grey.green + (changed.green - grey.green) * amount,
                grey.blue + (changed.blue - grey.blue) * amount, alpha};
    }
    if (hue <= kOtherKindHue) return DrawColor::grey(isDarkAppearance ? 0.5 : 0.58, alpha);
    if (hue <= kFolderHue) return DrawColor::grey(isDarkAppearance ? 0.3 : 0.86, alpha);
    return DrawColor::fromHue(hue, kSaturation, brightness(), alpha);
}

DrawColor merged(double alpha) {
    return DrawColor::grey(isDarkAppearance ? 0.4 : 0.7, alpha);
}

double strokeGrey() {
    return isDarkAppearance ? 1.0 : 0.0;
}

DrawColor border(double alpha) {
    return DrawColor::grey(strokeGrey(), alpha);
}

DrawColor activeFile(double hue) {
    return DrawColor::fromHue(hue, kSaturation, brightness() * 0.7, 1.0);
}

DrawColor activeMerged() {
    return DrawColor::grey((isDarkAppearance ? 0.4 : 0.7) * 0.8, 1.0);
}

double backgroundGrey() {
    return isDarkAppearance ? 0.2 : 0.93;
}

DrawColor labelText(bool secondary) {
    if (secondary)
        return DrawColor::grey(isDarkAppearance ? 1.0 : 0.0, isDarkAppearance ? 0.55 : 0.5);
    return DrawColor::grey(isDarkAppearance ? 1.0 : 0.0, 0.85);
}

DrawColor activeLabelBackground() {
    return DrawColor::grey(isDarkAppearance ? 0.2 : 0.93, 0.85);
}

DrawColor activeLabelBorder() {
    return DrawColor::grey(strokeGrey(), 0.5);
}

} // namespace palette
} // namespace tessera
