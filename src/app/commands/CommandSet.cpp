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
    connect(action, &QAction::triggered, this,
            [this, index = entries_.size(), run = std::move(run)] {
                if (const Route* route = entries_[index].activeRoute())
                    route->run();
                else
                    run();
                refresh();
            });
    entries_.push_back({action, std::move(rules), std::nullopt});
    actions_.push_back(action);
    return action;
}

void CommandSet::route(CommandId id, Rule when, std::function<void()> run, Rule enabled) {
    QAction* routed = action(id);
    for (Entry& entry : entries_)
        if (entry.action == routed)
            entry.route = Route{std::move(when), std::move(run), std::move(enabled)};
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
        if (const Route* route = entry.activeRoute())
            entry.action->setEnabled(route->enabled());
        else
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
