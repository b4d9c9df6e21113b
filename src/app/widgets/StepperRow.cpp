#include "app/widgets/StepperRow.h"

#include <QAction>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>
#include <algorithm>
#include <vector>

namespace tessera {
namespace {

// The row takes the keyboard when the menu's arrow keys reach it and hands it to a button: Left
// and Right go from button to button, Return and Space press the one that has it, and Up, Down
// and Escape stay the menu's. The button with the keyboard is drawn raised.
class StepperRowWidget final : public QWidget {
public:
    explicit StepperRowWidget(QWidget* parent) : QWidget(parent) {
        setFocusPolicy(Qt::StrongFocus);
    }

    void addButton(QToolButton* button) {
        button->setFocusPolicy(Qt::StrongFocus);
        button->installEventFilter(this);
        buttons_.push_back(button);
    }

protected:
    void focusInEvent(QFocusEvent* event) override {
        const auto first = std::ranges::find_if(
            buttons_, [](const QToolButton* button) { return button->isEnabled(); });
        if (first != buttons_.end())
            (*first)->setFocus(event->reason());
        else
            QWidget::focusInEvent(event);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto at = std::ranges::find(buttons_, watched);
        if (at == buttons_.end()) return false;
        QToolButton* button = *at;
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            button->setAutoRaise(event->type() == QEvent::FocusOut);
            return false;
        }
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
            step(at, key->key() == Qt::Key_Right ? 1 : -1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            button->click();
            return true;
        default:
            return false; // Up, Down and Escape reach the menu
        }
    }

private:
    void step(std::vector<QToolButton*>::iterator from, int direction) {
        auto index = static_cast<long>(from - buttons_.begin());
        const auto count = static_cast<long>(buttons_.size());
        for (index += direction; index >= 0 && index < count; index += direction) {
            QToolButton* next = buttons_[static_cast<std::size_t>(index)];
            if (next->isEnabled()) {
                next->setFocus(Qt::TabFocusReason);
                return;
            }
        }
    }

    std::vector<QToolButton*> buttons_;
};

} // namespace

void addStepperRow(QMenu& menu, const QString& title, QAction* decrease, QAction* increase,
                   QAction* reset) {
    auto* row = new StepperRowWidget(&menu);
    auto* layout = new QHBoxLayout(row);
    // Lined up with the menu's item texts.
    layout->setContentsMargins(28, 2, 8, 2);
    auto* label = new QLabel(title, row);
    layout->addWidget(label, 1);
    for (QAction* action : {decrease, increase, reset}) {
        auto* button = new QToolButton(row);
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setAccessibleName(title + QStringLiteral(": ") + action->text());
        layout->addWidget(button);
        row->addButton(button);
    }
    row->setAccessibleName(title);
    auto* item = new QWidgetAction(&menu);
    item->setDefaultWidget(row);
    // The menu's item is named after the row, for screen readers.
    item->setText(title);
    item->setObjectName(increase->objectName() + QStringLiteral("Row"));
    menu.addAction(item);
    QObject::connect(increase, &QAction::visibleChanged, item,
                     [item, increase] { item->setVisible(increase->isVisible()); });
}

} // namespace tessera
