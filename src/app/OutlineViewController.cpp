#include "app/OutlineViewController.h"

#include "app/OutlineModel.h"
#include "app/UserDefaults.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeView>
#include <array>

namespace tessera {

OutlineViewController::OutlineViewController(std::function<int()> sizeMode, QWidget* parent)
    : QObject(parent),
      model_(new OutlineModel([sizeMode] { return static_cast<SizeMode>(sizeMode()); }, this)),
      view_(new QTreeView(parent)) {
    view_->setObjectName(QStringLiteral("outline"));
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
    view_->viewport()->installEventFilter(this);
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
    connect(view_, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (restoring_) return;
        if (File* file = model_->fileAt(index); file && file->asDirectory())
            file->asDirectory()->setExpanded(false);
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &OutlineViewController::selectionChanged);
}

OutlineViewController::~OutlineViewController() = default;

void OutlineViewController::setFileController(std::shared_ptr<FileController> controller) {
    model_->setFileController(std::move(controller));
}

File* OutlineViewController::selectedFile() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : model_->fileAt(rows.front());
}

void OutlineViewController::reloaded() {
    Directory* root = model_->observedRootFile();
    if (root == nullptr) return;
    root->setExpanded(true);
    restoring_ = true;
    restoreExpansion(*root);
    restoring_ = false;
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
            view_->expand(model_->indexOf(*folder));
        }
    }
    restoring_ = false;
    const QModelIndex row = model_->indexOf(*shown);
    view_->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
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
    view_->selectionModel()->setCurrentIndex(parent, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
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
    view_->selectionModel()->setCurrentIndex(model_->index(row, 0, parent),
                                             QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
}

bool OutlineViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (key.key() == Qt::Key_Space && key.modifiers() == Qt::NoModifier) {
            if (File* file = selectedFile()) emit previewRequested(*file);
            return true;
        }
    }
    if (watched == view_->viewport() && event->type() == QEvent::ContextMenu && contextMenu_) {
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
