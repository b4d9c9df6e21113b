#include "app/widgets/PathBar.h"

#include "app/QtConversions.h"
#include "controller/FileController.h"
#include "model/File.h"
#include "model/Localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace tessera {

PathBar::PathBar(QWidget* parent)
    : QWidget(parent), layout_(new QHBoxLayout(this)), ellipsis_(new QToolButton(this)),
      hidden_(new QMenu(this)) {
    layout_->setContentsMargins(4, 0, 4, 0);
    layout_->setSpacing(0);
    ellipsis_->setText(QStringLiteral("\u2026"));
    ellipsis_->setAutoRaise(true);
    ellipsis_->setPopupMode(QToolButton::InstantPopup);
    ellipsis_->setMenu(hidden_);
    ellipsis_->setAccessibleName(localizedQString("toolbar.path.more"));
    ellipsis_->hide();
    layout_->addWidget(ellipsis_);
    layout_->addStretch(1);
    // As wide as the toolbar leaves it, however long the path.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleName(localizedQString("toolbar.path"));
}

void PathBar::setPath(const FileController* controller, File* shown) {
    for (const Component& component : components_) {
        delete component.separator;
        delete component.button;
    }
    components_.clear();
    if (controller != nullptr && shown != nullptr) {
        const std::vector<File*> nodes = shown->ancestors();
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            File* node = nodes[i];
            QLabel* separator = nullptr;
            if (i > 0) {
                separator = new QLabel(QStringLiteral("›"), this);
                separator->setContentsMargins(2, 0, 2, 0);
                layout_->insertWidget(layout_->count() - 1, separator);
            }
            auto* button = new QToolButton(this);
            QString name = toQString(controller->displayName(*node));
            if (name.isEmpty()) name = QStringLiteral("/");
            button->setText(name);
            button->setAutoRaise(true);
            button->setToolButtonStyle(Qt::ToolButtonTextOnly);
            if (i + 1 == nodes.size()) {
                QFont font = button->font();
                font.setBold(true);
                button->setFont(font);
            } else {
                connect(button, &QToolButton::clicked, this, [this, node] {
                    if (onChoose) onChoose(*node);
                });
            }
            layout_->insertWidget(layout_->count() - 1, button);
            components_.push_back({node, separator, button, name});
        }
    }
    updateGeometry();
    fit();
}

QWidget* PathBar::lastButton() const {
    return components_.empty() ? static_cast<QWidget*>(ellipsis_) : components_.back().button;
}

int PathBar::widthOf(const Component& component) const {
    return component.button->sizeHint().width() +
           (component.separator != nullptr ? component.separator->sizeHint().width() : 0);
}

int PathBar::shownComponentCount() const {
    return static_cast<int>(std::ranges::count_if(
        components_, [](const Component& component) { return !component.button->isHidden(); }));
}

QSize PathBar::sizeHint() const {
    // The shown file alone, behind the ellipsis: the toolbar gives it what room is left.
    return minimumSizeHint();
}

QSize PathBar::minimumSizeHint() const {
    const QMargins margins = layout_->contentsMargins();
    int width = margins.left() + margins.right();
    int height = ellipsis_->sizeHint().height();
    if (!components_.empty()) {
        width += widthOf(components_.back());
        height = std::max(height, components_.back().button->sizeHint().height());
        if (components_.size() > 1) width += ellipsis_->sizeHint().width();
    }
    return {width, height};
}

void PathBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fit();
}

void PathBar::fit() {
    const QMargins margins = layout_->contentsMargins();
    int room = width() - margins.left() - margins.right();
    int total = 0;
    for (const Component& component : components_)
        total += widthOf(component);
    // From the root on, folders give way (the shown file never) until the rest fits beside
    // the ellipsis.
    std::size_t first = 0;
    if (total > room) room -= ellipsis_->sizeHint().width();
    while (total > room && first + 1 < components_.size())
        total -= widthOf(components_[first++]);
    hidden_->clear();
    for (std::size_t i = 0; i < components_.size(); ++i) {
        const Component& component = components_[i];
        const bool shown = i >= first;
        component.button->setVisible(shown);
        // The first shown folder's separator stays: it follows the ellipsis.
        if (component.separator != nullptr) component.separator->setVisible(shown);
        if (!shown) {
            File* node = component.node;
            hidden_->addAction(component.name, this, [this, node] {
                if (onChoose) onChoose(*node);
            });
        }
    }
    ellipsis_->setVisible(first > 0);
}

} // namespace tessera
