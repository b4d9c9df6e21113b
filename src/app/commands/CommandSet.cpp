#include "app/commands/CommandSet.h"

#include <QActionGroup>
#include <QMenu>

namespace tessera {

QAction* CommandSet::add(CommandId id, const QString& text, std::function<void()> run, Rules rules,
                         const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setObjectName(
        QString::fromUtf8(id.name.data(), static_cast<qsizetype>(id.name.size())));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    if (rules.checked) action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
        run();
        refresh();
    });
    entries_.push_back({action, std::move(rules)});
    actions_.push_back(action);
    return action;
}

void CommandSet::group(const std::vector<QAction*>& choices) {
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (QAction* choice : choices)
        group->addAction(choice);
}

QAction* CommandSet::action(CommandId id) const {
    const QString name = QString::fromUtf8(id.name.data(), static_cast<qsizetype>(id.name.size()));
    for (QAction* action : actions_)
        if (action->objectName() == name) return action;
    return nullptr;
}

void CommandSet::refresh() {
    const bool graphDisabled = disablesGraphCommands && disablesGraphCommands();
    for (const Entry& entry : entries_) {
        const Rules& rules = entry.rules;
        entry.action->setEnabled(!(graphDisabled && rules.actsOnGraph) &&
                                 (!rules.enabled || rules.enabled()));
        if (rules.checked) entry.action->setChecked(rules.checked());
        if (rules.visible) entry.action->setVisible(rules.visible());
    }
}

void CommandSet::refreshOnShow(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, &CommandSet::refresh);
}

QMenu* CommandSet::fill(QMenu* menu, std::initializer_list<MenuEntry> entries) {
    for (const MenuEntry& entry : entries) {
        if (std::holds_alternative<MenuSeparator>(entry))
            menu->addSeparator();
        else
            menu->addAction(action(std::get<CommandId>(entry)));
    }
    refreshOnShow(menu);
    return menu;
}

} // namespace tessera
