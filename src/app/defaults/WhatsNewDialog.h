// What changed for users of older builds: shown once, at the first start after an upgrade from
// a build that lacked these features.
#pragma once

#include <QDialog>

namespace tessera {

class WhatsNewDialog final : public QDialog {
public:
    explicit WhatsNewDialog(QWidget* parent = nullptr);
    /// Builds before this one lacked what the dialog lists.
    static constexpr int kFirstBuildWithItems = 81;
};

} // namespace tessera
