// The commands on the graph (the View menu and Select Enclosing Folder): each with its effect,
// its enabling, check mark and visibility, declared once in one table.
#pragma once

class QMenu;

namespace tessera {

class CommandSet;
class GraphViewController;

/// Adds the graph's commands to `commands`; they act on `controller`'s graph.
void addGraphCommands(CommandSet& commands, GraphViewController& controller);
/// Arranges the graph's commands as the View menu.
void fillViewMenu(QMenu& menu, const CommandSet& commands);

} // namespace tessera
