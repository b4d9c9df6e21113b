// Helpers for tests of live trees: a controller opened on a real folder, an observer that
// records what it hears, and a canonical text of a tree to compare with a fresh scan.
#pragma once

#include "controller/FileController.h"
#include "controller/FileControllerObserver.h"

#include <memory>
#include <string>
#include <vector>

namespace tessera::testing {

/// Sorts every folder of the tree by `mode` (folders already sorted stay as they are).
void sortAll(Directory& root, SizeMode mode = SizeMode::fileSize);

/// One line per node in contents order: depth, name, size, allocated size, leaf count.
std::string dumpTree(Directory& root);

/// The dump of a fresh scan of `path`, sorted like sortAll.
std::string freshDump(const std::string& path);

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

    /// Lines that start with `prefix`.
    std::vector<std::string> linesStartingWith(const std::string& prefix) const;

    std::vector<std::string> lines;
    int progressCount = 0;

private:
    FileController& controller_;
    std::shared_ptr<const FilePredicate> filter_;
    FilePtr filtered_;
};

/// A controller on `path` attached to a favourite, with its first scan applied to the tree.
struct LiveFolder {
    explicit LiveFolder(const std::string& path);
    ~LiveFolder();
    /// Runs the main queue until the tree equals a fresh scan of the folder; false after a
    /// generous bound.
    bool settle();
    Directory& root() const { return *controller->rootFile(); }

    std::unique_ptr<Favorite> favorite;
    std::shared_ptr<FileController> controller;
    std::unique_ptr<RecordingObserver> observer;
};

} // namespace tessera::testing
