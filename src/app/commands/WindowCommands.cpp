#include "app/commands/WindowCommands.h"

#include "app/Application.h"
#include "app/Build.h"
#include "app/QtConversions.h"
#include "app/commands/CommandSet.h"
#include "app/commands/GraphCommands.h"
#include "app/document/LogsWindow.h"
#include "app/favorites/FavoritesWindow.h"
#include "model/Localization.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

namespace tessera {
namespace {

void bringAllToFront(QWidget& current) {
    // The app's other windows first, then the one the command came from, which keeps the
    // focus.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != &current && window->isWindow() && window->isVisible() &&
            !window->isMinimized() && window->windowType() != Qt::Popup &&
            window->windowType() != Qt::ToolTip)
            window->raise();
    current.raise();
    current.activateWindow();
}

} // namespace

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
        // F11 on every desktop: plain X sessions bind no key to QKeySequence::FullScreen.
        {.checked = [&window] { return window.isFullScreen(); }}, QKeySequence(Qt::Key_F11));
    commands.add(
        command::minimize, localizedQString("menu.window.minimize"),
        [&window] { window.showMinimized(); }, {}, QKeySequence(Qt::CTRL | Qt::Key_M));
    // Maximised and back, as a window's title bar does it.
    commands.add(command::zoom, localizedQString("menu.window.zoom"),
                 [&window] { window.setWindowState(window.windowState() ^ Qt::WindowMaximized); });
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
    commands.add(command::bringAllToFront, localizedQString("menu.window.bringAllToFront"),
                 [&window] { bringAllToFront(window); });
    commands.add(command::whatsNew, localizedQString("menu.help.whatsNew"),
                 [&application] { application.showWhatsNew(); });
    commands.add(command::website, localizedQString("menu.help.website"),
                 [] { QDesktopServices::openUrl(QUrl(QString::fromUtf8(kHomePage))); });
}

void addWindowAndHelpMenus(QMainWindow& window, CommandSet& commands) {
    commands.fill(window.menuBar()->addMenu(localizedQString("menu.window")),
                  {command::minimize, command::zoom, separator, command::bringAllToFront, separator,
                   command::showFavorites, command::showLogs});
    commands.fill(window.menuBar()->addMenu(localizedQString("menu.help")),
                  {command::whatsNew, command::website, separator, command::about});
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
