// What every window of the app offers the same way: Close, Quit, Full Screen and Minimise, the
// application's windows (Favourites, Logs, About), the Window and Help menus, and the View menu
// of graph commands.
#pragma once

#include "app/commands/CommandSet.h"

#include <initializer_list>

class QMainWindow;
class QMenu;

namespace tessera {

class Application;

/// Adds Close, Quit, Full Screen and Minimise for `window`.
void addWindowCommands(CommandSet& commands, QMainWindow& window);

/// Adds Favourites, Logs, Detailed Logs and About.
void addApplicationCommands(CommandSet& commands, QMainWindow& window, Application& application);

/// Adds the Window menu (Minimise, and the application's windows) and the Help menu.
void addWindowAndHelpMenus(QMainWindow& window, CommandSet& commands);

/// Adds the View menu to `window`'s menu bar: the commands named in `first`, then the graph's
/// commands and Full Screen, their rules applied whenever a menu of it opens.
QMenu* addViewMenu(QMainWindow& window, CommandSet& commands,
                   std::initializer_list<MenuEntry> first = {});

} // namespace tessera
