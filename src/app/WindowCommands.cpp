#include "app/WindowCommands.h"

#include "app/CommandSet.h"
#include "app/GraphCommands.h"
#include "app/QtConversions.h"
#include "model/Localization.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace tessera {
namespace {

QString text(std::string_view key) {
    return toQString(localizedText(key));
}

} // namespace

void addWindowCommands(CommandSet& commands, QMainWindow& window) {
    commands.add(
        "performClose", text("menu.file.close"), [&window] { window.close(); }, {},
        QKeySequence::Close);
    commands.add(
        "terminate", text("menu.app.quit"), [] { QApplication::closeAllWindows(); }, {},
        QKeySequence::Quit);
    commands.add(
        "toggleFullScreen", text("menu.view.fullScreen"),
        [&window] { window.setWindowState(window.windowState() ^ Qt::WindowFullScreen); },
        {.checked = [&window] { return window.isFullScreen(); }}, QKeySequence::FullScreen);
    commands.add(
        "performMiniaturize", text("menu.window.minimize"), [&window] { window.showMinimized(); },
        {}, QKeySequence(Qt::CTRL | Qt::Key_M));
}

QMenu* addViewMenu(QMainWindow& window, CommandSet& commands,
                   std::initializer_list<const char*> first) {
    QMenu* view = window.menuBar()->addMenu(text("menu.view"));
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
