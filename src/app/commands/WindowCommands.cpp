#include "app/commands/WindowCommands.h"

#include "app/Application.h"
#include "app/QtConversions.h"
#include "app/commands/CommandSet.h"
#include "app/commands/GraphCommands.h"
#include "app/document/LogsWindow.h"
#include "app/favorites/FavoritesWindow.h"
#include "model/Localization.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace tessera {
void addWindowCommands(CommandSet& commands, QMainWindow& window) {
    commands.add(
        command::close, localizedQString("menu.file.close"), [&window] { window.close(); }, {},
        QKeySequence::Close);
    commands.add(
        command::quit, localizedQString("menu.app.quit"), [] { QApplication::closeAllWindows(); },
        {}, QKeySequence::Quit);
    commands.add(
        command::toggleFullScreen, localizedQString("menu.view.fullScreen"),
        [&window] { window.setWindowState(window.windowState() ^ Qt::WindowFullScreen); },
        {.checked = [&window] { return window.isFullScreen(); }}, QKeySequence::FullScreen);
    commands.add(
        command::minimize, localizedQString("menu.window.minimize"),
        [&window] { window.showMinimized(); }, {}, QKeySequence(Qt::CTRL | Qt::Key_M));
}

void addApplicationCommands(CommandSet& commands, QMainWindow& window, Application& application) {
    commands.add(
        command::showFavorites, localizedQString("favorites.title"),
        [&application] { application.showFavorites(); }, {},
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    // Chosen with Shift held (menus here have no alternate items), it shows every line.
    commands.add(
        command::showLogs, localizedQString("menu.window.logs"),
        [] {
            LogsWindow::showShared(
                QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier));
        },
        {}, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
    commands.add(
        command::showDetailedLogs, localizedQString("logs.detailed"),
        [] { LogsWindow::showShared(true); }, {},
        QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_L));
    commands.add(command::about, localizedQString("menu.app.about"),
                 [&application, &window] { application.showAbout(&window); });
}

void addWindowAndHelpMenus(QMainWindow& window, CommandSet& commands) {
    commands.fill(window.menuBar()->addMenu(localizedQString("menu.window")),
                  {command::minimize, separator, command::showFavorites, command::showLogs});
    commands.fill(window.menuBar()->addMenu(localizedQString("menu.help")), {command::about});
}

QMenu* addViewMenu(QMainWindow& window, CommandSet& commands,
                   std::initializer_list<MenuEntry> first) {
    QMenu* view = window.menuBar()->addMenu(localizedQString("menu.view"));
    commands.fill(view, first);
    if (first.size() > 0) view->addSeparator();
    fillViewMenu(*view, commands);
    view->addSeparator();
    view->addAction(commands.action(command::toggleFullScreen));
    for (QMenu* sub : view->findChildren<QMenu*>())
        commands.refreshOnShow(sub);
    return view;
}

} // namespace tessera
