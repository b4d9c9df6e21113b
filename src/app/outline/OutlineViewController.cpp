#include "app/outline/OutlineViewController.h"

#include "app/QtConversions.h"
#include "app/defaults/UserDefaults.h"
#include "app/desktop/AtSpiEvents.h"
#include "app/outline/OutlineModel.h"
#include "app/widgets/FilePredicateEditor.h"
#include "controller/FileController.h"
#include "controller/SearchSession.h"
#include "favorites/Predicate.h"
#include "model/Directory.h"
#include "model/Localization.h"
#include "platform/MainQueue.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScrollArea>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <array>

namespace tessera {

// Takes a finished search's result to the list.
class OutlineViewController::SearchResults final : public SearchSessionDelegate {
public:
    explicit SearchResults(OutlineViewController& owner) : owner_(owner) {}
    void searchSessionDidFinish(FilePtr result,
                                const std::shared_ptr<const FilePredicate>& filter) override {
        if (!result) {
            // Nothing matched: the root alone, with nothing under it.
            const Directory* root = owner_.model_->fileController()->rootFile();
            result = Directory::create("", root->creationDate(), root->modificationDate(), {});
        }
        owner_.keepingSelection([&] { owner_.model_->showFiltered(std::move(result), filter); });
        owner_.searchSpinner_->hide();
        owner_.showResultCount();
    }

private:
    OutlineViewController& owner_;
};

OutlineViewController::OutlineViewController(std::function<int()> sizeMode, QWidget* parent)
    : QObject(parent), widget_(new QWidget(parent)),
      model_(new OutlineModel([sizeMode] { return static_cast<SizeMode>(sizeMode()); }, this)),
      view_(new QTreeView(widget_)), editorArea_(new QScrollArea(widget_)),
      predicateEditor_(new FilePredicateEditor), searchLine_(new QWidget(widget_)),
      searchLabel_(new QLabel(searchLine_)), searchSpinner_(new QProgressBar(searchLine_)),
      results_(std::make_unique<SearchResults>(*this)),
      search_(std::make_unique<SearchSession>(*results_, MainQueue::shared())) {
    // The search line: what is searched, and a spinner while the search runs.
    auto* line = new QHBoxLayout(searchLine_);
    line->setContentsMargins(6, 4, 6, 4);
    QFont bold = searchLabel_->font();
    bold.setBold(true);
    searchLabel_->setFont(bold);
    searchSpinner_->setRange(0, 0);
    searchSpinner_->setFixedSize(48, 12);
    searchSpinner_->setTextVisible(false);
    searchSpinner_->setAccessibleName(localizedQString("search.running"));
    line->addWidget(searchLabel_);
    line->addWidget(searchSpinner_);
    line->addStretch();
    searchLine_->hide();
    // The filter's rows, above the search line, while a filter is set.
    editorArea_->setWidget(predicateEditor_);
    editorArea_->setWidgetResizable(true);
    editorArea_->setFrameShape(QFrame::NoFrame);
    editorArea_->hide();
    connect(predicateEditor_, &FilePredicateEditor::predicateChanged, this, [this] {
        if (const std::optional<Predicate> edited = predicateEditor_->predicate())
            applyFilter(std::make_shared<const Predicate>(*edited));
    });
    auto* stack = new QVBoxLayout(widget_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(editorArea_);
    stack->addWidget(searchLine_);
    stack->addWidget(view_);
    view_->setObjectName(QStringLiteral("outline"));
    view_->setAccessibleName(localizedQString("outline.accessibility.name"));
    // Before the view and its selection hear of a removal (connected first, told first): the
    // selection is still what the user left.
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &OutlineViewController::rowsAboutToGo);
    view_->setModel(model_);
    view_->setUniformRowHeights(true);
    view_->setAlternatingRowColors(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSortingEnabled(false); // the graph's order, always
    view_->setExpandsOnDoubleClick(true);
    view_->setContextMenuPolicy(Qt::DefaultContextMenu);
    view_->installEventFilter(this);
    viewport_ = view_->viewport();
    viewport_->installEventFilter(this);
    constexpr std::array widths{220, 90, 110, 170, 170};
    for (int column = 0; column < static_cast<int>(widths.size()); ++column)
        view_->header()->resizeSection(column, widths[static_cast<std::size_t>(column)]);
    view_->header()->setStretchLastSection(false);
    const auto defaults = userDefaults();
    const QByteArray saved = defaults->value(QString::fromLatin1(kColumnsKey)).toByteArray();
    if (!saved.isEmpty()) view_->header()->restoreState(saved);
    connect(view_->header(), &QHeaderView::sectionResized, this, [this] {
        userDefaults()->setValue(QString::fromLatin1(kColumnsKey), view_->header()->saveState());
    });

    connect(model_, &OutlineModel::reloaded, this, &OutlineViewController::reloaded);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &OutlineViewController::rowsGone);
    // The folders' flags remember what the user opened, so that a folder shown again (after a
    // collapse of its parent, a search, a reload) opens as it was left.
    connect(view_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (restoring_) return;
        Directory* directory =
            model_->fileAt(index) ? model_->fileAt(index)->asDirectory() : nullptr;
        if (directory == nullptr) return;
        directory->setExpanded(true);
        restoring_ = true;
        for (File* child : directory->contents())
            if (const Directory* folder = child->asDirectory()) restoreExpansion(*folder);
        restoring_ = false;
    });
    connect(view_, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { announceExpansion(index, true); });
    connect(view_, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { announceExpansion(index, false); });
    connect(view_, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (restoring_) return;
        if (File* file = model_->fileAt(index); file && file->asDirectory())
            file->asDirectory()->setExpanded(false);
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &OutlineViewController::selectionChanged);
}

OutlineViewController::~OutlineViewController() {
    search_.reset(); // lets held-back updates run before the model goes
}

void OutlineViewController::setFileController(std::shared_ptr<FileController> controller) {
    search_->cancel();
    searchLine_->hide();
    editorArea_->hide();
    view_->setMinimumHeight(0);
    favoriteSubscription_ = {};
    if (controller && controller->favorite() != nullptr)
        favoriteSubscription_ = controller->favorite()->changed().subscribe(
            [this](Favorite&) { model_->refreshAccount(); });
    model_->setFileController(std::move(controller));
}

bool OutlineViewController::isSearching() const {
    return search_->isSearching();
}

void OutlineViewController::applyFilter(std::shared_ptr<const FilePredicate> filter) {
    search_->cancel(); // the tree's held-back updates run first
    FileController* controller = model_->fileController();
    if (!filter || controller == nullptr || controller->loadedRootFile() == nullptr) {
        searchLine_->hide();
        editorArea_->hide();
        view_->setMinimumHeight(0);
        if (model_->filter() != nullptr)
            keepingSelection([this] { model_->showFiltered(nullptr, nullptr); });
        emit searchFilterChanged(nullptr);
        return;
    }
    emit searchFilterChanged(filter);
    searchLabel_->setText(toQString(
        localizedFormat("search.results", controller->displayName(*controller->loadedRootFile()))));
    searchSpinner_->show();
    searchLine_->show();
    editorArea_->show();
    // The results keep a readable list below the search's rows: the pane grows for them.
    const int row = std::max(view_->fontMetrics().height() + 4, view_->iconSize().height() + 2);
    view_->setMinimumHeight(kRowsWhileSearching * row + view_->header()->sizeHint().height() +
                            2 * view_->frameWidth());
    fitPredicateEditor();
    search_->start(model_->sharedFileController(), *controller->loadedRootFile(),
                   std::move(filter));
}

void OutlineViewController::fitPredicateEditor() {
    // As tall as its rows, up to a few of them (more scroll), once rows just added are shown.
    QTimer::singleShot(0, this, [this] {
        editorArea_->setFixedHeight(std::min(predicateEditor_->sizeHint().height() + 4, 150));
    });
}

void OutlineViewController::search(const Predicate& predicate) {
    {
        const QSignalBlocker quiet(predicateEditor_);
        predicateEditor_->setPredicate(&predicate);
    }
    applyFilter(std::make_shared<const Predicate>(predicate));
}

File* OutlineViewController::selectedFile() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : model_->fileAt(rows.front());
}

std::vector<File*> OutlineViewController::selectedFiles() const {
    QModelIndexList rows = view_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [this](const QModelIndex& a, const QModelIndex& b) {
        return view_->visualRect(a).top() < view_->visualRect(b).top();
    });
    std::vector<File*> files;
    for (const QModelIndex& row : rows)
        if (File* file = model_->fileAt(row)) files.push_back(file);
    return files;
}

void OutlineViewController::reloaded() {
    Directory* root = model_->observedRootFile();
    if (root == nullptr) return;
    root->setExpanded(true);
    restoring_ = true;
    restoreExpansion(*root);
    restoring_ = false;
}

void OutlineViewController::keepingSelection(const std::function<void()>& reset) {
    const File* selected = selectedFile();
    const std::optional<std::string> path =
        selected != nullptr ? std::optional(selected->relativePath()) : std::nullopt;
    reset();
    if (!path) return;
    // In a search result the row may be gone: then nothing is selected.
    if (const File* again = model_->fileAtPath(*path)) reveal(*again);
}

void OutlineViewController::relist() {
    keepingSelection([this] { model_->relist(); });
}

void OutlineViewController::revealShownFolder(const File& file) {
    reveal(file);
    File* shown = model_->fileAtPath(file.relativePath());
    Directory* folder = shown != nullptr ? shown->asDirectory() : nullptr;
    if (folder == nullptr || folder->count() == 0) return;
    folder->setExpanded(true);
    restoring_ = true;
    const QModelIndex row = model_->indexOf(*folder);
    if (model_->canFetchMore(row)) model_->fetchMore(row);
    view_->expand(row);
    restoreExpansion(*folder);
    restoring_ = false;
    // Its last child shows, then the folder's own row.
    const int rows = model_->rowCount(row);
    if (rows > 0) view_->scrollTo(model_->index(rows - 1, 0, row));
    view_->scrollTo(row);
}

void OutlineViewController::restoreExpansion(const Directory& directory) {
    if (!directory.expanded()) return;
    view_->expand(model_->indexOf(directory)); // lists its rows
    for (File* child : directory.contents())
        if (const Directory* folder = child->asDirectory()) restoreExpansion(*folder);
}

void OutlineViewController::reveal(const File& file) {
    const File* shown = &file;
    if (model_->filter() != nullptr) {
        shown = model_->fileAtPath(file.relativePath());
        if (shown == nullptr) return;
    }
    restoring_ = true;
    for (File* ancestor : shown->ancestors()) {
        if (Directory* folder = ancestor->asDirectory(); folder && ancestor != shown) {
            folder->setExpanded(true);
            // Listed now, not when the view next lays out: the next folder's row is needed.
            const QModelIndex row = model_->indexOf(*folder);
            if (model_->canFetchMore(row)) model_->fetchMore(row);
            view_->expand(row);
        }
    }
    restoring_ = false;
    const QModelIndex row = model_->indexOf(*shown);
    selectRow(row);
    // Some context: the row before it, or a folder's last child, then the row itself.
    if (row.row() > 0) view_->scrollTo(row.siblingAtRow(row.row() - 1));
    view_->scrollTo(row);
}

bool OutlineViewController::canSelectEnclosingFolder() const {
    const File* file = selectedFile();
    return file != nullptr && file->parent() != nullptr;
}

void OutlineViewController::selectEnclosingFolder() {
    if (!canSelectEnclosingFolder()) return;
    const QModelIndex parent = model_->indexOf(*selectedFile()->parent());
    selectRow(parent);
    view_->scrollTo(parent);
}

void OutlineViewController::rowsAboutToGo(const QModelIndex& parent, int first, int last) {
    removedRow_ = -1;
    const QModelIndexList selected = view_->selectionModel()->selectedRows();
    if (selected.size() != 1) return;
    const QModelIndex row = selected.front();
    if (row.parent() != parent || row.row() < first || row.row() > last) return;
    removedParent_ = parent;
    removedRow_ = row.row();
}

void OutlineViewController::rowsGone(const QModelIndex& parent, int, int) {
    if (removedRow_ < 0 || parent != removedParent_) return;
    const int count = model_->rowCount(parent);
    const int row = std::min(removedRow_, count - 1);
    removedRow_ = -1;
    if (row < 0) return;
    selectRow(model_->index(row, 0, parent));
}

QAccessibleInterface* OutlineViewController::accessibleCell(const QModelIndex& index) const {
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(view_);
    QAccessibleTableInterface* table = tree != nullptr ? tree->tableInterface() : nullptr;
    if (table == nullptr || !index.isValid()) return nullptr;
    // The row's place among the rows shown, which is how the tree's cells are counted.
    int row = 0;
    QModelIndex shown = model_->index(0, 0);
    while (shown.isValid() && shown != index) {
        shown = view_->indexBelow(shown);
        ++row;
    }
    return shown.isValid() ? table->cellAt(row, 0) : nullptr;
}

void OutlineViewController::announceExpansion(const QModelIndex& index, bool expanded) {
    // Only what the user opened or closed on the row that has the keyboard is heard.
    if (restoring_ || !QAccessible::isActive() || !view_->hasFocus() ||
        index != view_->currentIndex().siblingAtColumn(0))
        return;
    if (QAccessibleInterface* cell = accessibleCell(index))
        sendAtSpiStateChange(*cell, "expanded", expanded);
}

void OutlineViewController::announceCurrentRow() {
    // Qt announces the list itself after its row as the list takes the keyboard: the row
    // comes again, so that a screen reader ends on it.
    if (!QAccessible::isActive() || !view_->hasFocus()) return;
    if (QAccessibleInterface* cell = accessibleCell(view_->currentIndex().siblingAtColumn(0))) {
        QAccessibleEvent event(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void OutlineViewController::selectRow(const QModelIndex& row) {
    constexpr auto rows = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    // The current row is where screen readers put the focus: it moves only while the list has
    // the keyboard, so that they stay with the field or graph the user is in.
    if (view_->hasFocus())
        view_->selectionModel()->setCurrentIndex(row, rows);
    else
        view_->selectionModel()->select(row, rows);
}

void OutlineViewController::takeKeyboard() {
    const QModelIndexList selected = view_->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        // The first result, below the root's row.
        const QModelIndex root = model_->index(0, 0);
        const QModelIndex first = model_->rowCount(root) > 0 ? model_->index(0, 0, root) : root;
        if (first.isValid())
            view_->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    }
    view_->setFocus(Qt::OtherFocusReason);
}

void OutlineViewController::showResultCount() {
    FileController* controller = model_->fileController();
    const Directory* found = model_->observedRootFile();
    if (controller == nullptr || controller->rootFile() == nullptr || found == nullptr) return;
    const std::string where =
        localizedFormat("search.results", controller->displayName(*controller->rootFile()));
    const std::string count =
        localizedCountFormat("search.results.count", static_cast<std::int64_t>(found->fileCount()));
    const QString text = toQString(count + " · " + where);
    searchLabel_->setText(text);
    // Said to a screen reader where the user is (typing in the search field, as a rule).
    if (QWidget* focused = QApplication::focusWidget())
        if (QAccessibleInterface* at = QAccessible::queryAccessibleInterface(focused))
            sendAtSpiDescriptionChange(*at, text);
}

bool OutlineViewController::eventFilter(QObject* watched, QEvent* event) {
    // Only pointers are compared before the event's type is known: the filter also sees the
    // events of the view's own destruction.
    if (watched == view_ && event->type() == QEvent::FocusIn) {
        // The keyboard starts at the selected row (a row selected while the list lacked it).
        const QModelIndexList selected = view_->selectionModel()->selectedRows();
        if (!selected.isEmpty() && !selected.contains(view_->currentIndex()))
            view_->selectionModel()->setCurrentIndex(selected.front(),
                                                     QItemSelectionModel::NoUpdate);
        QTimer::singleShot(0, this, &OutlineViewController::announceCurrentRow);
        return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ContextMenu)
        return QObject::eventFilter(watched, event);
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (key.key() == Qt::Key_Space && key.modifiers() == Qt::NoModifier) {
            if (File* file = selectedFile()) emit previewRequested(*file);
            return true;
        }
    }
    if (watched == viewport_ && event->type() == QEvent::ContextMenu && contextMenu_) {
        const auto& menu = static_cast<const QContextMenuEvent&>(*event);
        const QModelIndex row = view_->indexAt(menu.pos());
        if (row.isValid() && !view_->selectionModel()->isRowSelected(row.row(), row.parent()))
            view_->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
        contextMenu_->exec(menu.globalPos());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tessera
