// A window's commands: each declared once as a QAction with its shortcut and its rules for
// being enabled, checked and shown, then arranged by menus, context menus and toolbars. The
// rules are applied whenever a menu opens and whenever the state they read may have changed.
#pragma once

#include <QAction>
#include <QKeySequence>
#include <QObject>
#include <functional>
#include <vector>

class QActionGroup;
class QMenu;

namespace tessera {

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

    /// A command named `id` (its object name, found again by action()).
    QAction* add(const QString& id, const QString& text, std::function<void()> run,
                 Rules rules = {}, const QKeySequence& shortcut = {});
    /// Makes the commands one exclusive choice.
    void group(const std::vector<QAction*>& choices);
    QAction* action(const QString& id) const;
    const std::vector<QAction*>& actions() const { return actions_; }

    /// While this holds every command on the graph is disabled (a sequence of trees is shown).
    Rule disablesGraphCommands;
    /// Applies every rule now.
    void refresh();
    /// Applies the rules each time `menu` is about to open.
    void refreshOnShow(QMenu* menu);

private:
    struct Entry {
        QAction* action;
        Rules rules;
    };
    std::vector<Entry> entries_;
    std::vector<QAction*> actions_;
};

} // namespace tessera
