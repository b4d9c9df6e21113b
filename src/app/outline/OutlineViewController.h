// The outline of a document: the tree as an indented list above the graph, in the graph's order,
// following every live change. It keeps the folders' expansion as the user left it (the
// `expanded` flag of each folder), moves the selection to the row that takes the place of a
// removed selected row, reveals what the graph shows, previews with Space and shows a row's
// file in the graph.
#pragma once

#include "model/Callbacks.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <functional>
#include <memory>
#include <string>

class QAccessibleInterface;
class QLabel;
class QMenu;
class QProgressBar;
class QScrollArea;
class QTreeView;
class QWidget;

namespace tessera {

class Directory;
class File;
class FileController;
class FilePredicate;
class FilePredicateEditor;
class Predicate;
class OutlineModel;
class SearchSession;

class OutlineViewController final : public QObject {
    Q_OBJECT

public:
    OutlineViewController(std::function<int()> sizeMode, QWidget* parent);
    ~OutlineViewController() override;

    /// The outline's area: the search line (while a filter is set) above the list.
    QWidget* widget() const { return widget_; }
    QTreeView* view() const { return view_; }
    OutlineModel& model() const { return *model_; }
    void setFileController(std::shared_ptr<FileController> controller);
    void setContextMenu(QMenu* menu) { contextMenu_ = menu; }

    /// Shows what `filter` keeps of the tree, found by a search off the main thread while the
    /// tree's updates wait; none shows the whole tree again. A running search is abandoned.
    void applyFilter(std::shared_ptr<const FilePredicate> filter);
    bool isSearching() const;
    /// Puts `predicate` into the predicate editor above the list, which then shows it, and
    /// searches with it. Editing the rows searches again.
    void search(const Predicate& predicate);
    FilePredicateEditor& predicateEditor() const { return *predicateEditor_; }

    /// The first selected node, if any.
    File* selectedFile() const;
    /// Every selected row's file, in the list's order.
    std::vector<File*> selectedFiles() const;
    /// Expands the node's ancestors (and the node, for a folder), selects it and scrolls so that
    /// its neighbourhood shows. Nodes of the whole tree are looked up in a search result by path.
    void reveal(const File& file);
    /// Reveals the folder the graph shows: opened, and scrolled so that its last child shows.
    void revealShownFolder(const File& file);
    /// Lists the rows afresh after the graph's measure changed, keeping what was open and the
    /// selected row.
    void relist();
    /// Selects the parent of the selected node.
    void selectEnclosingFolder();
    bool canSelectEnclosingFolder() const;
    /// Gives the list the keyboard, at the selected row or else the first result.
    void takeKeyboard();

    /// Where the outline's column layout is kept.
    static constexpr const char* kColumnsKey = "fileOutlineColumns";

signals:
    /// Show in Graph: the node (of the whole tree) that the user asked the graph to show.
    void showInGraph(File& file);
    /// Space on a row.
    void previewRequested(File& file);
    void selectionChanged();
    /// A search began with `filter`, or ended (none): the graph lights what it matches.
    void searchFilterChanged(std::shared_ptr<const FilePredicate> filter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reloaded();
    /// Runs `reset` (which lists the rows afresh) and selects the row of the same path again.
    void keepingSelection(const std::function<void()>& reset);
    void fitPredicateEditor();
    void restoreExpansion(const Directory& directory);
    void rowsAboutToGo(const QModelIndex& parent, int first, int last);
    void rowsGone(const QModelIndex& parent, int first, int last);
    /// Selects the row (and makes it the current one while the list has the keyboard).
    void selectRow(const QModelIndex& row);
    /// The accessible interface of a row's first cell, as screen readers know it.
    QAccessibleInterface* accessibleCell(const QModelIndex& index) const;
    /// Screen readers hear that the row with the keyboard was opened or closed.
    void announceExpansion(const QModelIndex& index, bool expanded);
    /// Screen readers hear which row the list's keyboard is on.
    void announceCurrentRow();
    /// The search line names how many entries were found.
    void showResultCount();

    class SearchResults;

    QWidget* widget_;
    OutlineModel* model_;
    QTreeView* view_;
    QScrollArea* editorArea_;
    FilePredicateEditor* predicateEditor_;
    QWidget* viewport_ = nullptr; // compared only: the view's scrolled area
    QWidget* searchLine_;
    QLabel* searchLabel_;
    QProgressBar* searchSpinner_;
    std::unique_ptr<SearchResults> results_;
    std::unique_ptr<SearchSession> search_;
    QMenu* contextMenu_ = nullptr;
    /// The favourite's sizes changing: the account's rows are asked for again.
    Subscription favoriteSubscription_;
    /// Restoring expansion expands rows; those expansions leave the flags alone.
    bool restoring_ = false;
    /// The rows the list keeps while a search shows its editor above it.
    static constexpr int kRowsWhileSearching = 8;
    /// The selected row that a removal is taking away, to select its successor after.
    QPersistentModelIndex removedParent_;
    int removedRow_ = -1;
};

} // namespace tessera
