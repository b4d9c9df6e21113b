// A window's commands: each declared once as a QAction with its shortcut and its rules for
// being enabled, checked and shown, then arranged by menus, context menus and toolbars. The
// rules are applied whenever a menu opens and whenever the state they read may have changed.
#pragma once

#include "app/commands/CommandIds.h"

#include <QAction>
#include <QKeySequence>
#include <QObject>
#include <functional>
#include <initializer_list>
#include <optional>
#include <variant>
#include <vector>

class QActionGroup;
class QMenu;

namespace tessera {

/// A line between groups of a menu's commands.
struct MenuSeparator {};
inline constexpr MenuSeparator separator;
/// A menu laid out as data: its commands in order, with separators.
using MenuEntry = std::variant<CommandId, MenuSeparator>;

/// When a command is enabled, checked and shown.
struct CommandRules {
    std::function<bool()> enabled = {}; // none: always enabled
    std::function<bool()> checked = {}; // set: a check mark (or a choice, with a group)
    std::function<bool()> visible = {}; // none: always shown
    /// A command on the graph: disabled while the set's `disablesGraphCommands` holds.
    bool actsOnGraph = false;
};

class CommandSet final : public QObject {
public:
    using Rule = std::function<bool()>;
    using Rules = CommandRules;

    explicit CommandSet(QObject* parent = nullptr) : QObject(parent) {}

    /// The command `id` (found again by action()).
    QAction* add(CommandId id, const QString& text, std::function<void()> run, Rules rules = {},
                 const QKeySequence& shortcut = {});
    /// While `when` holds, the command `id` runs `run` instead, enabled by `enabled` (for a
    /// window whose command acts on the view that has the focus).
    void route(CommandId id, Rule when, std::function<void()> run, Rule enabled);
    /// Makes the commands one exclusive choice.
    void group(const std::vector<QAction*>& choices);
    QAction* action(CommandId id) const;
    const std::vector<QAction*>& actions() const { return actions_; }

    /// While this holds every command on the graph is disabled (a sequence of trees is shown).
    Rule disablesGraphCommands;
    /// Applies every rule now.
    void refresh();
    /// Applies the rules each time `menu` is about to open.
    void refreshOnShow(QMenu* menu);
    /// Adds `entries` to `menu` and applies the rules each time it is about to open.
    QMenu* fill(QMenu* menu, std::initializer_list<MenuEntry> entries);

private:
    struct Route {
        Rule when;
        std::function<void()> run;
        Rule enabled;
    };
    struct Entry {
        QAction* action;
        Rules rules;
        std::optional<Route> route;
        /// The route that applies now, if any.
        const Route* activeRoute() const { return route && route->when() ? &*route : nullptr; }
    };
    std::vector<Entry> entries_;
    std::vector<QAction*> actions_;
};

} // namespace tessera
