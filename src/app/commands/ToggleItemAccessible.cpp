#include "app/commands/ToggleItemAccessible.h"

#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QPointer>

namespace tessera {
namespace {

class ToggleItemAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ToggleItemAccessible(QAction& action, QMenu& menu) : action_(&action), menu_(&menu) {}

    bool isValid() const override { return action_ && menu_; }
    QObject* object() const override { return action_; }
    QWindow* window() const override { return menu_ ? menu_->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(menu_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text kind) const override {
        if (!isValid()) return {};
        switch (kind) {
        case QAccessible::Name: {
            QString name = action_->text();
            // "Show &Outline": the mnemonic's ampersand is not read ("&&" stands for one).
            name.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
            name.remove(QLatin1Char('&'));
            name.replace(QStringLiteral("\x01"), QStringLiteral("&"));
            return name;
        }
        case QAccessible::Accelerator:
            return action_->shortcut().toString(QKeySequence::NativeText);
        default:
            return {};
        }
    }

    QRect rect() const override {
        if (!isValid()) return {};
        return menu_->actionGeometry(action_).translated(menu_->mapToGlobal(QPoint(0, 0)));
    }

    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.checkable = true;
        state.checked = action_->isChecked();
        state.disabled = !action_->isEnabled();
        state.invisible = !menu_->isVisible() || !action_->isVisible();
        state.focusable = true;
        state.focused = menu_->activeAction() == action_;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& name) override {
        if (isValid() && action_->isEnabled() && (name == toggleAction() || name == pressAction()))
            action_->trigger();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QAction> action_;
    QPointer<QMenu> menu_;
};

// A checkable action that is not one of a group's choices, in exactly one menu.
QAccessibleInterface* makeToggleItem(const QString&, QObject* object) {
    auto* action = qobject_cast<QAction*>(object);
    if (action == nullptr || !action->isCheckable() ||
        (action->actionGroup() != nullptr && action->actionGroup()->isExclusive()))
        return nullptr;
    QMenu* owner = nullptr;
    for (QObject* associated : action->associatedObjects()) {
        if (auto* menu = qobject_cast<QMenu*>(associated)) {
            if (owner != nullptr) return nullptr;
            owner = menu;
        }
    }
    return owner != nullptr ? new ToggleItemAccessible(*action, *owner) : nullptr;
}

} // namespace

void exposeToggleMenuItems() {
    static const bool installed = [] {
        QAccessible::installFactory(makeToggleItem);
        return true;
    }();
    (void)installed;
}

} // namespace tessera
