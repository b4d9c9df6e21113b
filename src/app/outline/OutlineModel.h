// The list form of a tree for a Qt view, adapting the nodes in place (never copying them): one
// row per node in its parent's order, the root as the first top row (followed, for a live
// folder, by rows that account for the rest of its volume: free, reserved, other volumes,
// unreadable and excluded entries), five columns (name with
// icon, size, allocated size, creation and modification dates). A folder's rows are taken when
// the view first asks for them (sorted by the graph's measure then); from then on the
// controller's notifications move, insert and remove them, so the rows always equal the tree.
// Folders the view has not opened cost nothing.
#pragma once

#include "controller/FileControllerObserver.h"
#include "model/File.h"
#include "model/FileEnums.h"
#include "scan/VolumeAccount.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tessera {

class Directory;
class File;
class FileController;
class FilePredicate;

class OutlineModel final : public QAbstractItemModel, public FileControllerObserver {
    Q_OBJECT

public:
    enum Column { name, size, allocatedSize, creationDate, modificationDate, kColumns };

    /// `sizeMode` tells the graph's measure, by which folders are sorted when first listed.
    explicit OutlineModel(std::function<SizeMode()> sizeMode, QObject* parent = nullptr);
    ~OutlineModel() override;

    /// Lists `controller`'s tree (none: nothing), and follows its changes.
    void setFileController(std::shared_ptr<FileController> controller);
    FileController* fileController() const { return controller_.get(); }
    const std::shared_ptr<FileController>& sharedFileController() const { return controller_; }
    /// Shows `tree`, a filtered copy of the controller's tree by `filter`, instead of the whole
    /// tree; none for both shows the whole tree again.
    void showFiltered(FilePtr tree, std::shared_ptr<const FilePredicate> filter);
    /// Lists every folder afresh, in the order of the graph's measure now (after the measure
    /// changed); the tree or search result shown stays.
    void relist();
    const FilePredicate* filter() const { return filter_.get(); }

    /// The node of a row; none for an invalid index and for the account's rows.
    File* fileAt(const QModelIndex& index) const;
    /// The part of the volume a top row after the root accounts for; none for other rows.
    std::optional<AccountPart> accountPartAt(const QModelIndex& index) const;
    /// Asks the controller again where its volume's space went, and updates the account's
    /// rows (the tree's rows stay as they are).
    void refreshAccount();
    /// The row of a node of the shown tree (first column).
    QModelIndex indexOf(const File& file) const;
    /// The node at `relativePath` in the shown tree, if any.
    File* fileAtPath(const std::string& relativePath) const;

    // QAbstractItemModel.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // FileControllerObserver.
    void fileControllerDidLoadRootFile() override;
    Directory* observedRootFile() const override;
    const FilePredicate* observedFilter() const override { return filter_.get(); }
    void fileControllerDidInsert(Directory& parent, std::size_t index) override;
    void fileControllerDidMove(Directory& oldParent, std::size_t oldIndex, Directory& newParent,
                               std::size_t newIndex) override;
    void fileControllerDidRemove(File& file, Directory& parent, std::size_t index) override;
    void fileControllerDidChangeOrder(File& file, std::ptrdiff_t oldIndex,
                                      std::ptrdiff_t newIndex) override;
    void fileControllerDidChange(File& file) override;
    void fileControllerDidClose() override;
    /// The account's rows of unreadable and excluded entries are asked for again.
    void fileControllerDidChangeLeftOut() override { scheduleAccountRefresh(); }

signals:
    /// The rows were built afresh (a tree loaded, a search result shown or left).
    void reloaded();

private:
    /// What a screen reader says of a cell after its text.
    QString accessibleDescription(const File& file, int column) const;
    bool isListed(const Directory& directory) const;
    QModelIndex indexOf(const File& file, int column) const;
    void forget(const File& file);
    /// Takes `file`'s row out of `parent`'s rows.
    void takeRow(File& file, Directory& parent);
    /// Moves `file`'s row to `newIndex` of `newParent`'s rows.
    void moveRow(File& file, Directory& oldParent, Directory& newParent, std::size_t newIndex);
    /// Builds the rows afresh (the view takes them again), after `change`.
    void resetRows(const std::function<void()>& change);
    QIcon iconFor(const File& file) const;
    QVariant accountData(const AccountLine& line, int column, int role) const;
    /// Refreshes the account a moment after the tree changed (once for a burst of changes).
    void scheduleAccountRefresh();
    static constexpr int kAccountRefreshDelayMs = 500;
    bool accountRefreshPending_ = false;
    /// Replaces the account's rows by `lines`, telling the view of each change.
    void setAccountLines(std::vector<AccountLine> lines);

    std::function<SizeMode()> sizeMode_;
    std::shared_ptr<FileController> controller_;
    FilePtr filtered_;
    std::shared_ptr<const FilePredicate> filter_;
    /// Folders whose rows the view has taken, with those rows as the view knows them: the tree
    /// has already changed when a notification comes, and the view learns of each change in
    /// turn, so the rows are kept here and changed between Qt's begin and end of each.
    std::unordered_map<const File*, std::vector<File*>> listed_;
    /// Where each of those rows is, as the view knows it (a removed node has no parent any more
    /// when its removal is told): its parent and its position among the parent's rows, kept
    /// up to date as rows come, go and move so that a node's row is found without a search.
    struct Place {
        File* parent = nullptr;
        int row = 0;
    };
    std::unordered_map<const File*, Place> places_;
    /// Gives rows [from, end) of `rows` (the rows of `parent`) their positions.
    void renumber(File* parent, const std::vector<File*>& rows, std::size_t from);
    const std::vector<File*>* rowsOf(const File* directory) const;
    int rowOf(const File& file) const;
    mutable QHash<QString, QIcon> iconsByType_;
    bool changing_ = false; // a change of the rows is being told
    /// The account's rows, after the root's.
    std::vector<AccountLine> accountLines_;
};

} // namespace tessera
