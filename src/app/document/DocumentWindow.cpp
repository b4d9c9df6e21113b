#include "app/document/DocumentWindow.h"

#include "app/Application.h"
#include "app/QtConversions.h"
#include "app/cleanups/CleanupOutputWindow.h"
#include "app/cleanups/CleanupsDialog.h"
#include "app/commands/CommandSet.h"
#include "app/commands/ExclusionCommand.h"
#include "app/commands/GraphCommands.h"
#include "app/commands/TrashCommand.h"
#include "app/commands/WindowCommands.h"
#include "app/defaults/UserDefaultValue.h"
#include "app/defaults/UserDefaults.h"
#include "app/desktop/FileManager.h"
#include "app/desktop/FilePreview.h"
#include "app/desktop/Terminal.h"
#include "app/document/PictureExport.h"
#include "app/document/SnapshotExport.h"
#include "app/graphview/GraphViewController.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "app/statistics/StatisticsWindow.h"
#include "app/widgets/PathBar.h"
#include "base/Paths.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "favorites/Predicate.h"
#include "graph/Graph.h"
#include "graph/GraphView.h"
#include "model/Directory.h"
#include "model/Localization.h"
#include "model/Utf8.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUndoStack>
#include <QVBoxLayout>

namespace tessera {
DocumentWindow::DocumentWindow(Application& application, std::string location,
                               std::shared_ptr<FileController> controller,
                               std::shared_ptr<Favorite> favorite)
    : application_(application), location_(std::move(location)), controller_(std::move(controller)),
      favorite_(std::move(favorite)), commands_(new CommandSet(this)),
      undoStack_(new QUndoStack(this)),
      graphViewController_(new GraphViewController(
          application.settings(),
          [this, &application] {
              application.saveSettings();
              graphSettingsChanged();
          },
          application.typesetter(), application.graphViewOptions(), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    updateTitle();
    buildSplit();
    graph().delegate = this;
    addCommands();
    buildMenus();
    buildToolBar();
    applyTabOrder();
    connect(graphViewController_, &GraphViewController::stateChanged, this,
            &DocumentWindow::refresh);
    restoreWindowGeometry(*this, "graphWindow", {900, 700});
    showGraph();
    listedSizeMode_ = graph().settings().sizeMode;
    graphDidChangeFile(graph().file());
    if (favorite_)
        favoriteSubscription_ =
            favorite_->changed().subscribe([this](Favorite&) { favoriteDidChange(); });
    observeLiveness();
}

DocumentWindow::~DocumentWindow() {
    graph().delegate = nullptr;
}

void DocumentWindow::observeLiveness() {
    if (!controller_) return;
    livenessSubscription_ = controller_->followingChanged().subscribe([this] { showLiveness(); });
    showLiveness();
}

void DocumentWindow::showLiveness() {
    if (!controller_->isSnapshot() && controller_->isLive() &&
        controller_->polledFolderCount() > 0) {
        const std::size_t count = controller_->polledFolderCount();
        statusBar()->showMessage(
            tr("%1 not followed live: the limit of inotify watches "
               "(fs.inotify.max_user_watches) is reached. Changes there show a few seconds late.")
                .arg(count == 1 ? tr("1 folder is") : tr("%1 folders are").arg(count)));
        return;
    }
    if (controller_->isSnapshot() || controller_->isLive()) {
        // A fresh controller follows the disk again, or the limit left room: the notice goes.
        if (auto* bar = findChild<QStatusBar*>()) bar->clearMessage();
        return;
    }
    statusBar()->showMessage(tr("Changes on disk are no longer followed (%1). Open the folder "
                                "again to measure it afresh.")
                                 .arg(toQString(controller_->notLiveReason())));
}

void DocumentWindow::favoriteDidChange() {
    auto controller = std::dynamic_pointer_cast<FileController>(favorite_->sharedFileController());
    if (!controller || controller == controller_ || !isVisible()) return;
    controller_ = std::move(controller);
    observeLiveness();
    graph().setFileController(controller_);
    outlineViewController_->setFileController(controller_);
    graphDidChangeFile(graph().file());
}

Graph& DocumentWindow::graph() const {
    return graphViewController_->graph();
}

void DocumentWindow::showGraph() {
    // A folder's favourite starts the scan, so that the graph sees it loading (a controller
    // the favourite kept from an earlier window already holds its tree).
    if (favorite_ && favorite_->sharedFileController() != controller_)
        favorite_->setFileController(controller_);
    graph().setFileController(controller_);
    outlineViewController_->setFileController(controller_);
}

void DocumentWindow::buildSplit() {
    // The outline above the graph, collapsed until the user opens it (or left it open).
    split_ = new QSplitter(Qt::Vertical, this);
    split_->setObjectName(QStringLiteral("graphWindowSplitView"));
    outlineViewController_ = new OutlineViewController(
        [this] { return static_cast<int>(graph().settings().sizeMode); }, split_);
    split_->addWidget(outlineViewController_->widget());
    split_->addWidget(graphViewController_->container());
    split_->setStretchFactor(0, 0);
    split_->setStretchFactor(1, 1);
    split_->setCollapsible(1, false);
    const QByteArray saved =
        userDefaults()->value(QStringLiteral("graphWindowSplitView")).toByteArray();
    if (saved.isEmpty() || !split_->restoreState(saved)) split_->setSizes({0, 1});
    if (split_->sizes().value(0) == 0) outlineViewController_->view()->hide();
    // Dragged shut or open, the list is hidden or shown as the menu command does it.
    connect(split_, &QSplitter::splitterMoved, this, [this] {
        QTreeView* list = outlineViewController_->view();
        const bool open = split_->sizes().value(0) > 0;
        if (open == list->isHidden()) {
            list->setHidden(!open);
            refresh();
        }
    });
    // Above them, the notice shown when the folder itself is gone.
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    goneNotice_ = makeGoneNotice(central);
    layout->addWidget(goneNotice_);
    layout->addWidget(split_, 1);
    setCentralWidget(central);
    connect(outlineViewController_, &OutlineViewController::showInGraph, this,
            [this](File& file) { graph().navigate(file); });
    connect(outlineViewController_, &OutlineViewController::previewRequested, this,
            [this](File& file) {
                if (!controller_->isSnapshot()) previewFile(*controller_, file, this);
            });
    connect(outlineViewController_, &OutlineViewController::selectionChanged, this,
            &DocumentWindow::refresh);
    connect(outlineViewController_, &OutlineViewController::searchFilterChanged, this,
            [this](std::shared_ptr<const FilePredicate> filter) {
                graph().setLitFilter(std::move(filter));
            });
}

bool DocumentWindow::isOutlineShown() const {
    return !outlineViewController_->view()->isHidden() && split_->sizes().value(0) > 0;
}

void DocumentWindow::setOutlineShown(bool shown) {
    if (shown == isOutlineShown()) return;
    QList<int> sizes = split_->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (shown) {
        const int outline = std::min(outlineHeight_, total / 2);
        outlineViewController_->view()->show();
        split_->setSizes({outline, total - outline});
        if (File* file = graph().file()) outlineViewController_->revealShownFolder(*file);
    } else {
        // The keys the outline had go back to the graph, not nowhere.
        const bool hadKeyboard = outlineViewController_->view()->hasFocus();
        outlineHeight_ = std::max(sizes.value(0), 80);
        split_->setSizes({0, total});
        // The list hidden, not only squeezed: screen readers and Tab pass it by. (The pane
        // itself stays: a native graph view beside it would lose its place in the window.)
        outlineViewController_->view()->hide();
        if (hadKeyboard) graphViewController_->view()->setFocus(Qt::OtherFocusReason);
    }
    refresh();
}

void DocumentWindow::addCommands() {
    CommandSet& commands = *commands_;
    commands.add(
        command::openFolder, localizedQString("menu.file.open"),
        [this] { application_.chooseFolder(this); }, {}, QKeySequence::Open);
    commands.add(
        command::openSnapshot, localizedQString("menu.file.openSnapshot"),
        [this] { application_.chooseSnapshot(this); }, {},
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    commands.add(command::compareTrees, localizedQString("menu.file.openSequence"),
                 [this] { application_.chooseSequence(this); });
    commands.add(
        command::find, localizedQString("menu.edit.find"),
        [this] {
            searchField_->setFocus(Qt::ShortcutFocusReason);
            searchField_->selectAll();
        },
        {.enabled = [this] { return searchField_ != nullptr && searchField_->isEnabled(); }},
        QKeySequence::Find);
    commands.add(
        command::moveToTrash,
        localizedQString(controller_->isSnapshot() ? "menu.file.delete" : "menu.file.moveToTrash"),
        [this] { moveTargetToTrash(); },
        {.enabled =
             [this] {
                 File* file = targetFile();
                 if (file == nullptr) return false;
                 return controller_->isSnapshot() ? file->parent() != nullptr
                                                  : controller_->canMoveToTrash(*file);
             }},
        QKeySequence::Delete);
    commands.add(
        command::exportSnapshot, localizedQString("menu.file.exportSnapshot"),
        [this] {
            if (Directory* root = controller_->loadedRootFile())
                exportSnapshot(*root, controller_->rootPath(),
                               QFileInfo(toQString(location_)).completeBaseName(), this);
        },
        {.enabled = [this] { return controller_->loadedRootFile() != nullptr; }},
        QKeySequence(Qt::CTRL | Qt::Key_E));
    commands.add(
        command::savePicture, localizedQString("menu.file.savePicture"),
        [this] {
            QWidget* shown = graphViewController_->view();
            savePicture(graph(), controller_, shown->width(), shown->height(),
                        graphViewController_->surface().graphView().isDarkAppearance(),
                        QFileInfo(toQString(location_)).completeBaseName(), this);
        },
        {.enabled = [this] { return controller_->loadedRootFile() != nullptr && graph().file(); }});
    commands.add(command::showStatistics, localizedQString("menu.file.statistics"),
                 [this] { showStatistics(); },
                 {.enabled = [this] { return controller_->loadedRootFile() != nullptr; }});
    commands.add(command::showInGraph, localizedQString("menu.file.showInGraph"),
                 [this] {
                     File* file = outlineViewController_->selectedFile();
                     if (file == nullptr || controller_->rootFile() == nullptr) return;
                     // The outline may show a search result: its node of the whole tree.
                     if (File* node = controller_->rootFile()->fileAtPath(file->relativePath()))
                         graph().navigate(*node);
                 },
                 {.enabled = [this] { return outlineViewController_->selectedFile() != nullptr; }});
    commands.add(
        command::toggleOutline, localizedQString("menu.view.showOutline"),
        [this] { setOutlineShown(!isOutlineShown()); },
        {.checked = [this] { return isOutlineShown(); }}, QKeySequence(Qt::CTRL | Qt::Key_L));
    commands.add(command::preview, localizedQString("menu.file.quicklook"),
                 [this] { graphViewController_->previewTargetFile(); }, {.enabled = [this] {
                     return !controller_->isSnapshot() && targetFile() != nullptr;
                 }});
    commands.add(
        command::showInFileManager, localizedQString("menu.file.showInFiles"),
        [this] {
            if (File* file = targetFile()) showInFileManager(controller_->itemPaths(*file), this);
        },
        {.enabled = [this] { return !controller_->isSnapshot() && targetFile() != nullptr; }});
    commands.add(
        command::openTerminal, localizedQString("menu.file.openTerminal"),
        [this] {
            if (File* file = targetFile()) openTerminalHere(*file);
        },
        {.enabled = [this] { return !controller_->isSnapshot() && targetFile() != nullptr; }});
    commands.add(command::excludeFromChart, localizedQString("menu.file.exclude"),
                 [this] { excludeTargetFromChart(); },
                 {.enabled = [this] { return exclusionTarget() != nullptr; }});
    commands.add(
        command::copyPath, localizedQString("menu.file.copyPath"),
        [this] {
            File* file = targetFile();
            if (file == nullptr) return;
            QStringList paths;
            for (const std::string& path : controller_->itemPaths(*file))
                paths << toQString(path);
            QGuiApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
        },
        {.enabled = [this] { return targetFile() != nullptr; }},
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    addClipboardCommands(commands);
    commands.add(
        command::selectEnclosingFolder, localizedQString("menu.file.selectEnclosingFolder"),
        [this] { outlineViewController_->selectEnclosingFolder(); },
        {.enabled = [this] { return outlineViewController_->canSelectEnclosingFolder(); }});
    commands.add(
        command::goBack, localizedQString("toolbar.back"), [this] { goBack(); },
        {.enabled = [this] { return graph().canGoBack(); }, .actsOnGraph = true},
        QKeySequence(Qt::ALT | Qt::Key_Left));
    commands.add(
        command::goForward, localizedQString("toolbar.forward"), [this] { goForward(); },
        {.enabled = [this] { return graph().canGoForward(); }, .actsOnGraph = true},
        QKeySequence(Qt::ALT | Qt::Key_Right));
    addApplicationCommands(commands, *this, application_);
    addWindowCommands(commands, *this);
    addGraphCommands(commands, *graphViewController_);
    // Kept with the favourite, which the tree follows.
    commands.add(command::toggleCountHardLinksOnce,
                 localizedQString("menu.view.countHardLinksOnce"),
                 [this] {
                     if (!favorite_ || controller_->isSnapshot()) return;
                     favorite_->setCountsHardLinksOnce(!favorite_->countsHardLinksOnce());
                     application_.saveSettings();
                 },
                 {.enabled = [this] { return favorite_ && !controller_->isSnapshot(); },
                  .checked = [this] { return favorite_ && favorite_->countsHardLinksOnce(); }});
    // Select Enclosing Folder (Alt+Up) acts on the view that has the keyboard.
    commands.route(
        command::showEnclosingFolder, [this] { return outlineHasKeyboard(); },
        [this] { outlineViewController_->selectEnclosingFolder(); },
        [this] { return outlineViewController_->canSelectEnclosingFolder(); });
    // The rules read the focus: the shortcuts follow it.
    connect(qApp, &QApplication::focusChanged, &commands, [&commands] { commands.refresh(); });
    commands.action(command::goBack)->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    commands.action(command::goForward)->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    for (QAction* action : commands.actions())
        addAction(action); // shortcuts work with the menus closed
}

void DocumentWindow::addClipboardCommands(CommandSet& commands) {
    // They act on the focused field (the search field, the search's rows), else on the list's
    // rows, else on the graph's file.
    const auto field = [] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); };
    commands.add(
        command::cut, localizedQString("menu.edit.cut"),
        [field] {
            if (QLineEdit* edit = field()) edit->cut();
        },
        {.enabled =
             [field] {
                 return field() != nullptr && field()->hasSelectedText() && !field()->isReadOnly();
             }},
        QKeySequence::Cut);
    commands.add(
        command::copy, localizedQString("menu.edit.copy"),
        [this, field] {
            if (QLineEdit* edit = field()) {
                edit->copy();
                return;
            }
            // Files: their paths, one a line, the selected rows' in the list.
            std::vector<File*> files;
            if (outlineHasKeyboard() && !controller_->showsScanPreview())
                files = outlineViewController_->selectedFiles();
            else if (File* file = targetFile())
                files.push_back(file);
            QStringList paths;
            for (File* file : files)
                for (const std::string& path : controller_->itemPaths(*file))
                    paths << toQString(path);
            if (!paths.isEmpty())
                QGuiApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
        },
        {.enabled =
             [this, field] {
                 if (QLineEdit* edit = field()) return edit->hasSelectedText();
                 return targetFile() != nullptr;
             }},
        QKeySequence::Copy);
    commands.add(
        command::paste, localizedQString("menu.edit.paste"),
        [field] {
            if (QLineEdit* edit = field()) edit->paste();
        },
        {.enabled =
             [field] {
                 return field() != nullptr && !field()->isReadOnly() &&
                        !QGuiApplication::clipboard()->text().isEmpty();
             }},
        QKeySequence::Paste);
    commands.add(
        command::selectAll, localizedQString("menu.edit.selectAll"),
        [this, field] {
            if (QLineEdit* edit = field())
                edit->selectAll();
            else if (outlineHasKeyboard())
                outlineViewController_->view()->selectAll();
        },
        {.enabled = [field, this] { return field() != nullptr || outlineHasKeyboard(); }},
        QKeySequence::SelectAll);
}

bool DocumentWindow::outlineHasKeyboard() const {
    return isOutlineShown() && outlineViewController_->view()->hasFocus();
}

void DocumentWindow::openTerminalHere(const File& file) {
    // A folder's own, a file's (or a merged tail's) the one that holds it.
    const File* folder = file.isDirectory() || file.parent() == nullptr ? &file : file.parent();
    if (auto opened = openTerminalIn(controller_->absolutePath(*folder)); !opened)
        statusBar()->showMessage(toQString(opened.error()));
}

void DocumentWindow::buildCleanupsMenu() {
    cleanupsMenu_ = new QMenu(localizedQString("menu.file.cleanups"), this);
    cleanupsMenu_->setObjectName(QStringLiteral("cleanupsMenu"));
    // Made afresh each time it opens: the list may have been edited, the entry changed.
    connect(cleanupsMenu_, &QMenu::aboutToShow, this, [this] {
        cleanupsMenu_->clear();
        const File* target = targetFile();
        const bool runnable =
            !controller_->isSnapshot() && target != nullptr && target->asMerged() == nullptr;
        for (const Cleanup& cleanup : application_.settings().cleanupsOrDefaults()) {
            QAction* action = cleanupsMenu_->addAction(
                toQString(cleanup.title) + (cleanup.dangerous ? QStringLiteral("…") : QString()));
            action->setEnabled(runnable);
            connect(action, &QAction::triggered, this, [this, cleanup] { runCleanup(cleanup); });
        }
        cleanupsMenu_->addSeparator();
        connect(cleanupsMenu_->addAction(localizedQString("menu.file.editCleanups")),
                &QAction::triggered, this, [this] { editCleanups(); });
    });
}

void DocumentWindow::runCleanup(const Cleanup& cleanup) {
    const File* file = controller_->isSnapshot() ? nullptr : targetFile();
    if (file == nullptr || file->asMerged() != nullptr) return;
    const std::string path = file->parent() == nullptr
                                 ? controller_->rootPath()
                                 : joinPath(controller_->rootPath(), file->relativePath());
    const std::string name = toDisplayString(lastComponent(path));
    if (cleanup.dangerous) {
        QMessageBox ask(QMessageBox::Warning, toQString(cleanup.title),
                        toQString(localizedFormat("cleanup.confirm", {cleanup.title, name})),
                        QMessageBox::Cancel, this);
        ask.setObjectName(QStringLiteral("cleanupConfirmation"));
        ask.setInformativeText(toQString(localizedFormat(
            "cleanup.confirm.detail", toDisplayString(expandedCommand(cleanup, path)))));
        QPushButton* run =
            ask.addButton(localizedQString("cleanup.confirm.run"), QMessageBox::DestructiveRole);
        ask.setDefaultButton(QMessageBox::Cancel);
        ask.exec();
        if (ask.clickedButton() != run) return;
    }
    // What it changed is measured again: the entry and what lies beside it (an archive made
    // there), or the whole tree for its root.
    const std::string changed = file->parent() == nullptr ? path : std::string(parentPath(path));
    auto* output = new CleanupOutputWindow(
        cleanup, path,
        [controller = std::weak_ptr<FileController>(controller_), changed] {
            if (auto live = controller.lock()) live->measureAgain(changed);
        },
        this);
    output->show();
}

void DocumentWindow::showStatistics() {
    if (!statistics_) {
        statistics_ = new StatisticsWindow(
            graph(), [this] { return controller_; },
            [this](std::shared_ptr<const FilePredicate> filter) {
                // Its files lit in the graph and listed in the outline, as a search's are.
                setOutlineShown(true);
                outlineViewController_->applyFilter(std::move(filter));
            },
            this);
        statistics_->setAttribute(Qt::WA_DeleteOnClose);
    }
    statistics_->show();
    statistics_->raise();
    statistics_->activateWindow();
}

void DocumentWindow::editCleanups() {
    CleanupsDialog dialog(application_.settings().cleanupsOrDefaults(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    application_.settings().cleanups = dialog.cleanups();
    application_.saveSettings();
}

File* DocumentWindow::exclusionTarget() const {
    // A folder below the root of a scanned folder, which has a favourite to keep the rule.
    if (!favorite_ || controller_->isSnapshot()) return nullptr;
    File* file = targetFile();
    if (file == nullptr || !file->isDirectory() || file->parent() == nullptr) return nullptr;
    return file;
}

void DocumentWindow::excludeTargetFromChart() {
    const File* file = exclusionTarget();
    if (file == nullptr) return;
    // A search result's node stands for the tree's node of the same path.
    const std::string path = joinPath(controller_->rootPath(), file->relativePath());
    undoStack_->push(
        new ExclusionCommand(favorite_, path, [this](const std::string& changed, bool rescan) {
            application_.saveSettings();
            if (rescan)
                application_.rescan(favorite_);
            else
                controller_->exclusionDidChange(changed);
        }));
    statusBar()->showMessage(
        toQString(localizedFormat("menu.file.excluded", toDisplayString(lastComponent(path)))));
}

File* DocumentWindow::targetFile() const {
    // The picture of a scan still running stands for no file: nothing acts on its entries.
    if (controller_->showsScanPreview()) return nullptr;
    // The outline's selection while the outline has the keyboard, else what the graph offers.
    if (outlineHasKeyboard()) return outlineViewController_->selectedFile();
    return graphViewController_->targetFile();
}

void DocumentWindow::moveTargetToTrash() {
    File* file = targetFile();
    if (file == nullptr || file->parent() == nullptr) return;
    if (outlineViewController_->model().filter() != nullptr) {
        // A search result's node: the tree's own node of the same path goes.
        file = controller_->rootFile()->fileAtPath(file->relativePath());
        if (file == nullptr) return;
    }
    if (controller_->isSnapshot()) {
        // A snapshot's node stands for no file: it only leaves the tree, for good.
        controller_->removeFromSnapshot(*file);
        return;
    }
    const std::string relativePath = file->relativePath();
    if (auto trashed = TrashCommand::moveToTrash(*controller_, *file, this))
        undoStack_->push(new TrashCommand(controller_, std::move(*trashed), relativePath, this));
}

void DocumentWindow::buildMenus() {
    CommandSet& commands = *commands_;
    QMenu* fileMenu = menuBar()->addMenu(localizedQString("menu.file"));
    commands.fill(fileMenu, {command::openFolder, command::openSnapshot, command::compareTrees,
                             command::exportSnapshot, command::savePicture, command::showStatistics,
                             separator, command::showEnclosingFolder, command::preview,
                             command::showInFileManager, command::openTerminal, command::copyPath,
                             command::showInGraph, command::excludeFromChart, separator,
                             command::close, command::quit});

    // The cleanups, beside the other commands on the entry, in the File menu and both context
    // menus.
    buildCleanupsMenu();
    fileMenu->insertMenu(commands.action(command::copyPath), cleanupsMenu_);

    QMenu* edit = menuBar()->addMenu(localizedQString("menu.edit"));
    QAction* undo = undoStack_->createUndoAction(this, localizedQString("menu.edit.undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = undoStack_->createRedoAction(this, localizedQString("menu.edit.redo"));
    redo->setShortcut(QKeySequence::Redo);
    addAction(undo);
    addAction(redo);
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    commands.fill(edit, {command::cut, command::copy, command::paste, command::selectAll, separator,
                         command::moveToTrash, separator, command::find});

    addViewMenu(*this, commands, {command::toggleOutline});

    addWindowAndHelpMenus(*this, commands);

    // The graph's context menu: the file commands, acting on the clicked file.
    contextMenu_ = commands.fill(
        new QMenu(this), {command::preview, command::showEnclosingFolder,
                          command::showInFileManager, command::openTerminal, command::copyPath,
                          separator, command::excludeFromChart, command::moveToTrash});
    contextMenu_->insertMenu(commands.action(command::copyPath), cleanupsMenu_);
    graphViewController_->setContextMenu(contextMenu_);
    QMenu* outlineMenu = commands.fill(
        new QMenu(this), {command::showInGraph, command::selectEnclosingFolder, command::preview,
                          command::showInFileManager, command::openTerminal, command::copyPath,
                          separator, command::excludeFromChart, command::moveToTrash});
    outlineMenu->insertMenu(commands.action(command::copyPath), cleanupsMenu_);
    outlineViewController_->setContextMenu(outlineMenu);
}

void DocumentWindow::buildToolBar() {
    QToolBar* toolBar = addToolBar(QStringLiteral("navigation"));
    toolBar->setObjectName(QStringLiteral("navigation"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->addAction(commands_->action(command::goBack));
    toolBar->addAction(commands_->action(command::goForward));
    pathBar_ = new PathBar(toolBar);
    pathBar_->onChoose = [this](File& node) {
        graph().navigate(node);
        graphViewController_->view()->setFocus();
    };
    toolBar->addWidget(pathBar_);
    searchField_ = new QLineEdit(toolBar);
    searchField_->setObjectName(QStringLiteral("searchField"));
    searchField_->setPlaceholderText(localizedQString("search.placeholder"));
    searchField_->setAccessibleName(localizedQString("search.placeholder"));
    searchField_->setClearButtonEnabled(true);
    for (QToolButton* clear : searchField_->findChildren<QToolButton*>())
        clear->setAccessibleName(localizedQString("search.clear"));
    searchField_->setMaximumWidth(260);
    searchField_->setEnabled(controller_->loadedRootFile() != nullptr);
    connect(searchField_, &QLineEdit::textChanged, this, &DocumentWindow::searchTextChanged);
    searchField_->installEventFilter(this);
    toolBar->addWidget(searchField_);
}

void DocumentWindow::searchTextChanged(const QString& query) {
    if (query == searchQuery_) return;
    if (query.isEmpty() && !outlineWasShownBeforeSearch_) {
        // The search ends where it began: with the outline hidden.
        searchQuery_.clear();
        outlineViewController_->applyFilter(nullptr);
        setOutlineShown(false);
        return;
    }
    if (searchQuery_.isEmpty()) outlineWasShownBeforeSearch_ = isOutlineShown();
    searchQuery_ = query;
    setOutlineShown(true);
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty()) {
        outlineViewController_->applyFilter(nullptr);
        return;
    }
    outlineViewController_->search(Predicate::pathContaining(toPath(trimmed)));
}

void DocumentWindow::goBack() {
    graph().goBack();
    graphViewController_->view()->setFocus();
}

void DocumentWindow::goForward() {
    graph().goForward();
    graphViewController_->view()->setFocus();
}

void DocumentWindow::countCompletedScan() {
    // Kept as other builds keep it: after 20 scans, at most once a year, the review would be
    // asked for. This desktop has no review request, so only its date is written.
    constexpr int kScansBeforeReview = 20;
    constexpr qint64 kSecondsBetweenReviews = 365 * 24 * 3600;
    UserDefaultValue<int> completedScans(QStringLiteral("completedScans"), 0);
    completedScans.setValue(completedScans.value() + 1);
    if (completedScans.value() < kScansBeforeReview) return;
    OptionalUserDefaultValue<QString> asked(QStringLiteral("lastReviewAskedDate"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime last =
        asked.value() ? QDateTime::fromString(*asked.value(), Qt::ISODate) : QDateTime();
    if (!last.isValid() || last.secsTo(now) > kSecondsBetweenReviews)
        asked.setValue(now.toString(Qt::ISODate));
}

void DocumentWindow::refresh() {
    commands_->refresh();
}

void DocumentWindow::graphDidLoadTree(Directory&) {
    // The picture of a scan still running can be looked at, not searched.
    if (graph().fileController() == nullptr || !graph().fileController()->showsScanPreview()) {
        countCompletedScan();
        searchField_->setEnabled(true);
    }
    graphDidChangeFile(graph().file());
}

QWidget* DocumentWindow::makeGoneNotice(QWidget* parent) {
    auto* notice = new QFrame(parent);
    notice->setObjectName(QStringLiteral("goneNotice"));
    notice->setFrameShape(QFrame::StyledPanel);
    notice->setAutoFillBackground(true);
    notice->setBackgroundRole(QPalette::ToolTipBase);
    auto* layout = new QHBoxLayout(notice);
    auto* text = new QLabel(notice);
    text->setObjectName(QStringLiteral("goneText"));
    text->setWordWrap(true);
    text->setForegroundRole(QPalette::ToolTipText);
    layout->addWidget(text, 1);
    auto* choose = new QPushButton(localizedQString("menu.file.open"), notice);
    choose->setObjectName(QStringLiteral("goneOpen"));
    connect(choose, &QPushButton::clicked, this, [this] { application_.chooseFolder(this); });
    layout->addWidget(choose);
    auto* close = new QPushButton(tr("Close Window"), notice);
    close->setObjectName(QStringLiteral("goneClose"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(close);
    notice->hide();
    return notice;
}

void DocumentWindow::showIfGone() {
    // A live folder whose tree went (the folder deleted, or never there to scan) says so, and
    // offers what the user can do instead of a blank window.
    const bool gone = controller_ && !controller_->isSnapshot() &&
                      controller_->rootFile() == nullptr &&
                      controller_->scanOperationCount() == 0 && controller_->hasEnded();
    if (gone == goneNotice_->isVisible()) return;
    if (gone) {
        const QString name = QFileInfo(toQString(location_)).fileName();
        goneNotice_->findChild<QLabel*>(QStringLiteral("goneText"))
            ->setText(tr("The folder \u201c%1\u201d no longer exists: it was deleted, or its "
                         "disk is gone. There is nothing left to show.")
                          .arg(name.isEmpty() ? toQString(location_) : name));
    }
    goneNotice_->setVisible(gone);
}

bool DocumentWindow::eventFilter(QObject* watched, QEvent* event) {
    // The search field would take Ctrl+E (the end of the line, on X11) and Ctrl+Z (its own
    // undo, even with nothing to undo): the window's Export and Undo come first, unless the
    // field has typing of its own to undo.
    if (watched == searchField_ && event->type() == QEvent::KeyPress) {
        // Down or Return goes from the field to the results.
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Down || key->key() == Qt::Key_Return ||
             key->key() == Qt::Key_Enter) &&
            key->modifiers() == Qt::NoModifier && !searchField_->text().isEmpty() &&
            isOutlineShown()) {
            outlineViewController_->takeKeyboard();
            return true;
        }
    }
    if (watched == searchField_ && event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeyCombination combination = key->keyCombination();
        if (combination == QKeyCombination(Qt::ControlModifier, Qt::Key_E) ||
            (combination == QKeyCombination(Qt::ControlModifier, Qt::Key_Z) &&
             !searchField_->isUndoAvailable()))
            return true; // not overridden: the shortcut runs
    }
    return QMainWindow::eventFilter(watched, event);
}

void DocumentWindow::updateTitle() {
    // A live folder's name as it is now: it may have been renamed since it was opened.
    const std::string& location =
        controller_ && !controller_->isSnapshot() && controller_->rootFile() != nullptr
            ? controller_->rootPath()
            : location_;
    const QString name = QFileInfo(toQString(location)).fileName();
    const QString title = name.isEmpty() ? toQString(location) : name;
    if (windowTitle() != title) setWindowTitle(title);
}

void DocumentWindow::graphSettingsChanged() {
    const SizeMode mode = graph().settings().sizeMode;
    if (listedSizeMode_ && *listedSizeMode_ != mode && outlineViewController_ != nullptr)
        outlineViewController_->relist();
    listedSizeMode_ = mode;
}

void DocumentWindow::graphDidChangeFile(File* file) {
    showIfGone();
    updateTitle();
    pathBar_->setPath(controller_.get(), file);
    applyTabOrder();
    // The outline follows the graph to a new folder (the graph also calls when the shown
    // folder's name or figures changed, which leaves the user's selection alone).
    if (file != nullptr && file != lastShownFile_ && isOutlineShown())
        outlineViewController_->revealShownFolder(*file);
    // A zoom, a step back or a click on the path bar: a screen reader names the new folder.
    if (file != lastShownFile_) graphViewController_->announceFocus();
    lastShownFile_ = file;
    refresh();
}

void DocumentWindow::applyTabOrder() {
    // Tab goes along the window: the path, the search field, the outline's list, the graph.
    // The path's buttons are made anew for every folder: they join the chain at its end.
    if (pathBar_ == nullptr) return;
    setTabOrder(pathBar_->lastButton(), searchField_);
    setTabOrder(searchField_, outlineViewController_->view());
    setTabOrder(outlineViewController_->view(), graphViewController_->view());
}

void DocumentWindow::closeEvent(QCloseEvent* event) {
    saveWindowGeometry(*this, "graphWindow");
    userDefaults()->setValue(QStringLiteral("graphWindowSplitView"), split_->saveState());
    favoriteSubscription_.cancel();
    graph().setFileController(nullptr);
    outlineViewController_->setFileController(nullptr);
    // A favourite keeps a tree it holds, so that opening it again shows it at once; a scan
    // still under way is stopped.
    if (favorite_ && controller_->loadedRootFile() == nullptr)
        favorite_->setFileController(nullptr);
    event->accept();
}

} // namespace tessera
