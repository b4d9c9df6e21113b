// Labels measured and drawn by Qt's text layout and painter, the text facilities of the desktop.
// Works without a display: when no QGuiApplication exists (the command line, the tests), one is
// made on Qt's offscreen platform for the rest of the process.
#pragma once

#include "render/GraphLabel.h"

namespace tessera {

class QtLabelTypesetter final : public LabelTypesetter {
public:
    QtLabelTypesetter();
    DrawSize measure(const LabelText& text, DrawSize maxSize) const override;
    LabelBitmap render(const GraphLabel& label, double scale) const override;
    double lineWidth(std::string_view text, double pointSize) const override;
    NameSheet renderNames(std::span<const NameLabel> names, double scale) const override;
};

} // namespace tessera
