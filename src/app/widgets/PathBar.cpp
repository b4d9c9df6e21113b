#include "app/widgets/PathBar.h"

#include "app/QtConversions.h"
#include "controller/FileController.h"
#include "model/File.h"
#include "model/Localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace tessera {

PathBar::PathBar(QWidget* parent) : QWidget(parent), layout_(new QHBoxLayout(this)) {
    layout_->setContentsMargins(4, 0, 4, 0);
    layout_->setSpacing(0);
    layout_->addStretch(1);
    setAccessibleName(localizedQString("toolbar.path"));
}

void PathBar::setPath(const FileController* controller, File* shown) {
    while (layout_->count() > 1) {
        QLayoutItem* item = layout_->takeAt(0);
        delete item->widget();
        delete item;
    }
    if (controller == nullptr || shown == nullptr) return;
    const std::vector<File*> nodes = shown->ancestors();
    int position = 0;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        File* node = nodes[i];
        if (i > 0) {
            auto* separator = new QLabel(QStringLiteral("›"), this);
            separator->setContentsMargins(2, 0, 2, 0);
            layout_->insertWidget(position++, separator);
        }
        auto* button = new QToolButton(this);
        QString name = toQString(controller->displayName(*node));
        if (name.isEmpty()) name = QStringLiteral("/");
        button->setText(name);
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        const bool last = i + 1 == nodes.size();
        if (last) {
            QFont font = button->font();
            font.setBold(true);
            button->setFont(font);
        } else {
            connect(button, &QToolButton::clicked, this, [this, node] {
                if (onChoose) onChoose(*node);
            });
        }
        layout_->insertWidget(position++, button);
    }
}

} // namespace tessera
