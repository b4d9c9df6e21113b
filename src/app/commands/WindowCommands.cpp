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
        "performClose", localizedQString("menu.file.close"), [&window] { window.close(); }, {},
        QKeySequence::Close);
    commands.add(
        "terminate", localizedQString("menu.app.quit"), [] { QApplication::closeAllWindows(); }, {},
        QKeySequence::Quit);
    commands.add(
        "toggleFullScreen", localizedQString("menu.view.fullScreen"),
        [&window] { window.setWindowState(window.windowState() ^ Qt::WindowFullScreen); },
        {.checked = [&window] { return window.isFullScreen(); }}, QKeySequence::FullScreen);
    commands.add(
        "performMiniaturize", localizedQString("menu.window.minimize"),
        [&window] { window.showMinimized(); }, {}, QKeySequence(Qt::CTRL | Qt::Key_M));
}

void addApplicationCommands(CommandSet& commands, QMainWindow& window, Application& application) {
    commands.add(
        "showFavorites", localizedQString("favorites.title"),
        [&application] { application.showFavorites(); }, {},
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    // Chosen with Shift held (menus here have no alternate items), it shows every line.
    commands.add(
        "showLogs", localizedQString("menu.window.logs"),
        [] {
            LogsWindow::showShared(
                QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier));
        },
        {}, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
    commands.add(
        "showDetailedLogs", localizedQString("logs.detailed"), [] { LogsWindow::showShared(true); },
        {}, QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_L));
    commands.add("showAboutPanel", localizedQString("menu.app.about"),
                 [&application, &window] { application.showAbout(&window); });
}

void addWindowAndHelpMenus(QMainWindow& window, CommandSet& commands) {
    QMenu* windows = window.menuBar()->addMenu(localizedQString("menu.window"));
    windows->addAction(commands.action("performMiniaturize"));
    windows->addSeparator();
    windows->addAction(commands.action("showFavorites"));
    windows->addAction(commands.action("showLogs"));
    QMenu* help = window.menuBar()->addMenu(localizedQString("menu.help"));
    help->addAction(commands.action("showAboutPanel"));
}

QMenu* addViewMenu(QMainWindow& window, CommandSet& commands,
                   std::initializer_list<const char*> first) {
    QMenu* view = window.menuBar()->addMenu(localizedQString("menu.view"));
    for (const char* id : first)
        view->addAction(commands.action(QString::fromLatin1(id)));
    if (first.size() > 0) view->addSeparator();
    fillViewMenu(*view, commands);
    view->addSeparator();
    view->addAction(commands.action("toggleFullScreen"));
    commands.refreshOnShow(view);
    for (QMenu* sub : view->findChildren<QMenu*>())
        commands.refreshOnShow(sub);
    return view;
}

} // namespace tessera
