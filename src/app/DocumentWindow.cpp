#include "app/DocumentWindow.h"

#include "app/CommandSet.h"
#include "app/DocumentController.h"
#include "app/GraphCommands.h"
#include "app/GraphViewController.h"
#include "app/PathBar.h"
#include "app/QtConversions.h"
#include "app/UserDefaults.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "graph/Graph.h"
#include "model/Localization.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

namespace tessera {
namespace {

QString text(std::string_view key) {
    return toQString(localizedText(key));
}

} // namespace

DocumentWindow::DocumentWindow(DocumentController& application, std::string location,
                               std::shared_ptr<FileController> controller,
                               std::unique_ptr<Favorite> favorite)
    : application_(application), location_(std::move(location)), controller_(std::move(controller)),
      favorite_(std::move(favorite)), commands_(new CommandSet(this)),
      graphViewController_(new GraphViewController(
          application.settings(), [&application] { application.saveSettings(); },
          application.typesetter(), application.graphViewOptions(), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    const QString name = QFileInfo(toQString(location_)).fileName();
    setWindowTitle(name.isEmpty() ? toQString(location_) : name);
    setCentralWidget(graphViewController_->view());
    graph().delegate = this;
    addCommands();
    buildMenus();
    buildToolBar();
    connect(graphViewController_, &GraphViewController::stateChanged, this,
            &DocumentWindow::refresh);
    restoreWindowGeometry(*this, "graphWindow", {900, 700});
    showGraph();
    graphDidChangeFile(graph().file());
}

DocumentWindow::~DocumentWindow() {
    graph().delegate = nullptr;
}

Graph& DocumentWindow::graph() const {
    return graphViewController_->graph();
}

void DocumentWindow::showGraph() {
    // A folder's favourite starts the scan, so that the graph sees it loading.
    if (favorite_) favorite_->setFileController(controller_);
    graph().setFileController(controller_);
}

void DocumentWindow::addCommands() {
    CommandSet& commands = *commands_;
    commands.add(
        "openDocument", text("menu.file.open"), [this] { application_.chooseFolder(this); }, {},
        QKeySequence::Open);
    commands.add(
        "openSnapshot", text("menu.file.openSnapshot"),
        [this] { application_.chooseSnapshot(this); }, {},
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    commands.add("openDocumentSequence", text("menu.file.openSequence"),
                 [this] { application_.chooseSequence(this); });
    commands.add("openQuickLook", text("menu.file.quicklook"),
                 [this] { graphViewController_->previewTargetFile(); }, {.enabled = [this] {
                     return !controller_->isSnapshot() &&
                            graphViewController_->targetFile() != nullptr;
                 }});
    commands.add(
        "performClose", text("menu.file.close"), [this] { close(); }, {}, QKeySequence::Close);
    commands.add(
        "terminate", text("menu.app.quit"), [] { QApplication::closeAllWindows(); }, {},
        QKeySequence::Quit);
    commands.add(
        "goBack", text("toolbar.back"), [this] { goBack(); },
        {.enabled = [this] { return graph().canGoBack(); }, .actsOnGraph = true},
        QKeySequence(Qt::ALT | Qt::Key_Left));
    commands.add(
        "goForward", text("toolbar.forward"), [this] { goForward(); },
        {.enabled = [this] { return graph().canGoForward(); }, .actsOnGraph = true},
        QKeySequence(Qt::ALT | Qt::Key_Right));
    commands.add(
        "toggleFullScreen", text("menu.view.fullScreen"),
        [this] { setWindowState(windowState() ^ Qt::WindowFullScreen); },
        {.checked = [this] { return isFullScreen(); }}, QKeySequence::FullScreen);
    commands.add(
        "performMiniaturize", text("menu.window.minimize"), [this] { showMinimized(); }, {},
        QKeySequence(Qt::CTRL | Qt::Key_M));
    commands.add("showAboutPanel", text("menu.app.about"),
                 [this] { application_.showAbout(this); });
    addGraphCommands(commands, *graphViewController_);
    commands.action("goBack")->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    commands.action("goForward")->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    for (QAction* action : commands.actions())
        addAction(action); // shortcuts work with the menus closed
}

void DocumentWindow::buildMenus() {
    CommandSet& commands = *commands_;
    QMenu* file = menuBar()->addMenu(text("menu.file"));
    file->addAction(commands.action("openDocument"));
    file->addAction(commands.action("openSnapshot"));
    file->addAction(commands.action("openDocumentSequence"));
    file->addSeparator();
    file->addAction(commands.action("openParentDirectory"));
    file->addAction(commands.action("openQuickLook"));
    file->addSeparator();
    file->addAction(commands.action("performClose"));
    file->addAction(commands.action("terminate"));
    commands.refreshOnShow(file);

    QMenu* view = menuBar()->addMenu(text("menu.view"));
    fillViewMenu(*view, commands);
    view->addSeparator();
    view->addAction(commands.action("toggleFullScreen"));
    commands.refreshOnShow(view);
    for (QMenu* sub : view->findChildren<QMenu*>())
        commands.refreshOnShow(sub);

    QMenu* window = menuBar()->addMenu(text("menu.window"));
    window->addAction(commands.action("performMiniaturize"));
    QMenu* help = menuBar()->addMenu(text("menu.help"));
    help->addAction(commands.action("showAboutPanel"));

    // The graph's context menu: the file commands, acting on the clicked file.
    contextMenu_ = new QMenu(this);
    contextMenu_->addAction(commands.action("openQuickLook"));
    contextMenu_->addAction(commands.action("openParentDirectory"));
    commands.refreshOnShow(contextMenu_);
    graphViewController_->setContextMenu(contextMenu_);
}

void DocumentWindow::buildToolBar() {
    QToolBar* toolBar = addToolBar(QStringLiteral("navigation"));
    toolBar->setObjectName(QStringLiteral("navigation"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->addAction(commands_->action("goBack"));
    toolBar->addAction(commands_->action("goForward"));
    pathBar_ = new PathBar(toolBar);
    pathBar_->onChoose = [this](File& node) {
        graph().navigate(node);
        graphViewController_->view()->setFocus();
    };
    toolBar->addWidget(pathBar_);
}

void DocumentWindow::goBack() {
    graph().goBack();
    graphViewController_->view()->setFocus();
}

void DocumentWindow::goForward() {
    graph().goForward();
    graphViewController_->view()->setFocus();
}

void DocumentWindow::refresh() {
    commands_->refresh();
}

void DocumentWindow::graphDidLoadTree(Directory&) {
    graphDidChangeFile(graph().file());
}

void DocumentWindow::graphDidChangeFile(File* file) {
    pathBar_->setPath(controller_.get(), file);
    refresh();
}

void DocumentWindow::closeEvent(QCloseEvent* event) {
    saveWindowGeometry(*this, "graphWindow");
    graph().setFileController(nullptr);
    if (favorite_) favorite_->setFileController(nullptr);
    event->accept();
}

} // namespace tessera
