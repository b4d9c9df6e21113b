// Helpers for tests of live trees: a controller opened on a real folder, an observer that
// records what it hears, and a canonical text of a tree to compare with a fresh scan.
#pragma once

#include "controller/FileController.h"
#include "controller/FileControllerObserver.h"
#include "favorites/Predicate.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessera::testing {

/// Sorts every folder of the tree by `mode` (folders already sorted stay as they are).
void sortAll(Directory& root, SizeMode mode = SizeMode::fileSize);

/// One line per node in contents order: depth, name, size, allocated size, leaf count,
/// creation and modification dates.
std::string dumpTree(Directory& root);

/// The dump of a fresh scan of `path` (leaving out what `exclusion` excludes), sorted like
/// sortAll.
std::string freshDump(const std::string& path,
                      std::shared_ptr<const Predicate> exclusion = nullptr);

/// The first difference between a live tree that counts files with several names once and a
/// fresh scan of `path`: the same names and dates, each file counted at exactly one of its
/// names in the tree with its figures on disk, names counted elsewhere empty, and folders that
/// add up; empty when there is none.
std::string countedOnceDifferences(const Directory& live, const std::string& path,
                                   std::shared_ptr<const Predicate> exclusion = nullptr);

/// The dump of filtering `root` afresh by `filter` (an empty root when nothing matches).
std::string filteredDump(Directory& root, const FilePredicate& filter);

/// Rebuilds a tree of the live nodes purely from the insert, remove, move and order-change
/// notifications, as a list view of the tree does: a folder's entries are taken once, when it
/// is first looked at (sorted by then); from then on only notifications change them. With a
/// filter, it mirrors the filtered copy of the tree that a search result shows.
class MirrorObserver : public FileControllerObserver {
public:
    explicit MirrorObserver(FileController& controller,
                            std::shared_ptr<const FilePredicate> filter = nullptr);
    ~MirrorObserver() override;

    Directory* observedRootFile() const override {
        return filtered_ ? filtered_->asDirectory() : controller_.rootFile();
    }
    const FilePredicate* observedFilter() const override { return filter_.get(); }
    void fileControllerDidInsert(Directory& parent, std::size_t index) override;
    void fileControllerDidMove(Directory& oldParent, std::size_t oldIndex, Directory& newParent,
                               std::size_t newIndex) override;
    void fileControllerDidRemove(File& file, Directory& parent, std::size_t index) override;
    void fileControllerDidChangeOrder(File& file, std::ptrdiff_t oldIndex,
                                      std::ptrdiff_t newIndex) override;

    /// Sorts the live tree, looks at every folder not looked at yet, and describes the first
    /// difference between the mirror and the live tree (and any notification that named an
    /// entry the mirror did not hold there); empty when they agree.
    std::string differences();

private:
    struct Node;
    Node* nodeOf(const File& directory) const;
    void forget(Node& node);
    void complain(const std::string& what);

    FileController& controller_;
    std::shared_ptr<const FilePredicate> filter_;
    FilePtr filtered_;
    std::unique_ptr<Node> root_;
    std::unordered_map<const File*, Node*> nodes_;
    std::string complaints_;
};

/// Writes down every notification as a short line, with the root totals after it.
class RecordingObserver : public FileControllerObserver {
public:
    explicit RecordingObserver(FileController& controller) : controller_(controller) {}

    Directory* observedRootFile() const override {
        return filtered_ ? filtered_->asDirectory() : controller_.rootFile();
    }
    const FilePredicate* observedFilter() const override { return filter_.get(); }
    /// Shows a filtered copy of the controller's tree from now on.
    void showFiltered(std::shared_ptr<const FilePredicate> filter);

    void fileControllerDidUpdateProgress(const ScanProgress&) override { ++progressCount; }
    void fileControllerDidLoadRootFile() override { lines.push_back("load"); }
    void fileControllerDidInsert(Directory& parent, std::size_t index) override;
    void fileControllerDidMove(Directory& oldParent, std::size_t oldIndex, Directory& newParent,
                               std::size_t newIndex) override;
    void fileControllerDidRemove(File& file, Directory& parent, std::size_t index) override;
    void fileControllerDidChangeOrder(File& file, std::ptrdiff_t oldIndex,
                                      std::ptrdiff_t newIndex) override;
    void fileControllerDidChange(File& file) override;
    void fileControllerDidClose() override { lines.push_back("close"); }
    void fileControllerDidChangeLeftOut() override { ++leftOutChanges; }

    /// Lines that start with `prefix`.
    std::vector<std::string> linesStartingWith(const std::string& prefix) const;

    std::vector<std::string> lines;
    int progressCount = 0;
    int leftOutChanges = 0; // heard of

private:
    FileController& controller_;
    std::shared_ptr<const FilePredicate> filter_;
    FilePtr filtered_;
};

/// A controller on `path` attached to a favourite, with its first scan applied to the tree.
struct LiveFolder {
    /// `exclusion`, when given, is the favourite's filter, switched on.
    explicit LiveFolder(const std::string& path,
                        std::shared_ptr<const Predicate> exclusion = nullptr);
    ~LiveFolder();
    /// Runs the main queue until the tree equals a fresh scan of the folder; false after a
    /// generous bound.
    bool settle();
    /// settle() for a tree that counts files with several names once (countedOnceDifferences).
    bool settleCountedOnce();
    Directory& root() const { return *controller->rootFile(); }

    std::unique_ptr<Favorite> favorite;
    std::shared_ptr<FileController> controller;
    std::unique_ptr<RecordingObserver> observer;
};

} // namespace tessera::testing
