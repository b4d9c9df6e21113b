#include "support/LiveTree.h"

#include "model/FilePredicate.h"
#include "platform/MainQueue.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace tessera::testing {

namespace {
std::string totals(const FileController& controller) {
    const Directory* root = controller.rootFile();
    if (root == nullptr) return "";
    return " root " + std::to_string(root->size()) + "/" + std::to_string(root->fileCount());
}
std::string pathOf(const File& file) {
    const std::string path = file.relativePath();
    return path.empty() ? "." : path;
}
} // namespace

void sortAll(Directory& root, SizeMode mode) {
    sortTree(root, mode);
}

std::string dumpTree(Directory& root) {
    sortAll(root);
    std::string text;
    std::vector<std::pair<const File*, int>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        const Directory* directory = node->asDirectory();
        text += std::to_string(depth) + " " + std::string(node->path()) + " " +
                std::to_string(node->size()) + " " + std::to_string(node->allocatedSize()) + " " +
                std::to_string(directory != nullptr ? directory->fileCount() : 1) + " " +
                std::to_string(node->creationDate().seconds) + " " +
                std::to_string(node->modificationDate().seconds) + "\n";
        if (directory == nullptr) continue;
        for (std::size_t i = directory->count(); i > 0; --i)
            pending.emplace_back(directory->child(i - 1), depth + 1);
    }
    return text;
}

std::string freshDump(const std::string& path, std::shared_ptr<const Predicate> exclusion) {
    ScanOperation scan(path, std::move(exclusion), false, {}, MainQueue::shared());
    FilePtr root = scan.scan();
    if (!root || !root->isDirectory()) return "(no tree)";
    return dumpTree(*root->asDirectory());
}

namespace {
// Every node below `root` by its relative path.
std::map<std::string, const File*> nodesByPath(const Directory& root) {
    std::map<std::string, const File*> nodes;
    std::vector<const Directory*> pending{&root};
    while (!pending.empty()) {
        const Directory* at = pending.back();
        pending.pop_back();
        for (const File* child : at->contents()) {
            nodes.emplace(child->relativePath(), child);
            if (const Directory* inner = child->asDirectory()) pending.push_back(inner);
        }
    }
    return nodes;
}
} // namespace

std::string countedOnceDifferences(const Directory& live, const std::string& path,
                                   std::shared_ptr<const Predicate> exclusion) {
    ScanOperation scan(path, std::move(exclusion), false, {}, MainQueue::shared());
    FilePtr fresh = scan.scan();
    if (!fresh || !fresh->isDirectory()) return "no fresh tree";
    const auto liveNodes = nodesByPath(live);
    const auto freshNodes = nodesByPath(*fresh->asDirectory());
    if (liveNodes.size() != freshNodes.size())
        return std::to_string(liveNodes.size()) + " nodes live, " +
               std::to_string(freshNodes.size()) + " on disk";
    std::map<std::pair<dev_t, ino_t>, std::vector<std::string>> counting;
    for (const auto& [relative, node] : liveNodes) {
        const auto found = freshNodes.find(relative);
        if (found == freshNodes.end()) return relative + " is not on disk";
        const File& disk = *found->second;
        if (node->isDirectory() != disk.isDirectory()) return relative + " changed its kind";
        if (node->creationDate() != disk.creationDate() ||
            node->modificationDate() != disk.modificationDate())
            return relative + " has other dates";
        if (const Directory* folder = node->asDirectory()) {
            std::int64_t size = 0;
            std::int64_t allocated = 0;
            for (const File* child : folder->contents()) {
                size += child->size();
                allocated += child->allocatedSize();
            }
            if (size != folder->size() || allocated != folder->allocatedSize())
                return relative + " does not add up";
            continue;
        }
        if (node->isCountedElsewhere()) {
            if (node->size() != 0 || node->allocatedSize() != 0)
                return relative + " is counted elsewhere and has a size";
        } else if (node->size() != disk.size() || node->allocatedSize() != disk.allocatedSize()) {
            return relative + " has " + std::to_string(node->size()) + " bytes, not " +
                   std::to_string(disk.size());
        }
        struct stat status {};
        if (::lstat((path + "/" + relative).c_str(), &status) != 0) return relative + " is gone";
        auto& names = counting[{status.st_dev, status.st_ino}];
        names.push_back(node->isCountedElsewhere() ? relative + " (counted elsewhere)" : relative);
    }
    for (const auto& [file, names] : counting) {
        const auto counted = std::ranges::count_if(
            names, [](const std::string& name) { return !name.ends_with(" (counted elsewhere)"); });
        if (counted != 1) {
            std::string all;
            for (const std::string& name : names)
                all += (all.empty() ? "" : ", ") + name;
            return "a file counts at " + std::to_string(counted) + " of its names: " + all;
        }
    }
    std::int64_t size = 0;
    for (const File* child : live.contents())
        size += child->size();
    if (size != live.size()) return "the root does not add up";
    return "";
}

std::string filteredDump(Directory& root, const FilePredicate& filter) {
    FilePtr copy = root.filtered(filter);
    if (!copy)
        return dumpTree(*Directory::create("", root.creationDate(), root.modificationDate(), {}));
    return dumpTree(*copy->asDirectory());
}

struct MirrorObserver::Node {
    const File* file = nullptr;
    Node* parent = nullptr;
    bool fetched = false;
    std::vector<std::unique_ptr<Node>> children;
};

namespace {

// The filtered copy of the tree an observer with `filter` shows: an empty root when nothing
// matches.
FilePtr filteredCopy(const Directory& root, const FilePredicate& filter) {
    FilePtr copy = root.filtered(filter);
    if (copy) return copy;
    return FilePtr(
        Directory::create("", root.creationDate(), root.modificationDate(), {}).release());
}

} // namespace

MirrorObserver::MirrorObserver(FileController& controller,
                               std::shared_ptr<const FilePredicate> filter)
    : controller_(controller), filter_(std::move(filter)), root_(std::make_unique<Node>()) {
    if (filter_) filtered_ = filteredCopy(*controller.rootFile(), *filter_);
    root_->file = observedRootFile();
    nodes_[root_->file] = root_.get();
}

MirrorObserver::~MirrorObserver() = default;

MirrorObserver::Node* MirrorObserver::nodeOf(const File& directory) const {
    const auto found = nodes_.find(&directory);
    return found != nodes_.end() && found->second->fetched ? found->second : nullptr;
}

void MirrorObserver::forget(Node& node) {
    std::vector<Node*> pending{&node};
    while (!pending.empty()) {
        Node* next = pending.back();
        pending.pop_back();
        nodes_.erase(next->file);
        for (auto& child : next->children)
            pending.push_back(child.get());
    }
}

void MirrorObserver::complain(const std::string& what) {
    complaints_ += what + "\n";
}

void MirrorObserver::fileControllerDidInsert(Directory& parent, std::size_t index) {
    Node* node = nodeOf(parent);
    if (node == nullptr) return;
    if (index > node->children.size()) return complain("insert past the end of " + pathOf(parent));
    auto inserted = std::make_unique<Node>();
    inserted->file = parent.child(index);
    inserted->parent = node;
    nodes_[inserted->file] = inserted.get();
    node->children.insert(node->children.begin() + static_cast<std::ptrdiff_t>(index),
                          std::move(inserted));
}

void MirrorObserver::fileControllerDidRemove(File& file, Directory& parent, std::size_t index) {
    Node* node = nodeOf(parent);
    if (node == nullptr) return;
    if (index >= node->children.size() || node->children[index]->file != &file)
        return complain("remove of " + std::string(file.path()) + " names the wrong row");
    forget(*node->children[index]);
    node->children.erase(node->children.begin() + static_cast<std::ptrdiff_t>(index));
}

void MirrorObserver::fileControllerDidMove(Directory& oldParent, std::size_t oldIndex,
                                           Directory& newParent, std::size_t newIndex) {
    const File* file = newParent.child(newIndex);
    std::unique_ptr<Node> moving;
    if (Node* from = nodeOf(oldParent)) {
        if (oldIndex >= from->children.size() || from->children[oldIndex]->file != file)
            return complain("move of " + pathOf(*file) + " names the wrong row");
        moving = std::move(from->children[oldIndex]);
        from->children.erase(from->children.begin() + static_cast<std::ptrdiff_t>(oldIndex));
    }
    Node* to = nodeOf(newParent);
    if (to == nullptr) {
        if (moving) forget(*moving);
        return;
    }
    if (newIndex > to->children.size()) return complain("move past the end of " + pathOf(*file));
    if (!moving) {
        moving = std::make_unique<Node>();
        moving->file = file;
        nodes_[file] = moving.get();
    }
    moving->parent = to;
    to->children.insert(to->children.begin() + static_cast<std::ptrdiff_t>(newIndex),
                        std::move(moving));
}

void MirrorObserver::fileControllerDidChangeOrder(File& file, std::ptrdiff_t oldIndex,
                                                  std::ptrdiff_t newIndex) {
    Node* node = file.parent() != nullptr ? nodeOf(*file.parent()) : nullptr;
    if (node == nullptr) return;
    const auto count = static_cast<std::ptrdiff_t>(node->children.size());
    if (oldIndex < 0 || oldIndex >= count || newIndex < 0 || newIndex >= count ||
        node->children[static_cast<std::size_t>(oldIndex)]->file != &file)
        return complain("order change of " + pathOf(file) + " " + std::to_string(oldIndex) + "->" +
                        std::to_string(newIndex) + " names the wrong row");
    auto moving = std::move(node->children[static_cast<std::size_t>(oldIndex)]);
    node->children.erase(node->children.begin() + oldIndex);
    node->children.insert(node->children.begin() + newIndex, std::move(moving));
}

std::string MirrorObserver::differences() {
    Directory* live = observedRootFile();
    if (live == nullptr) return "no tree";
    sortAll(*live);
    std::string found = complaints_;
    std::vector<Node*> pending{root_.get()};
    while (!pending.empty() && found.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        const Directory* directory = node->file->asDirectory();
        if (directory == nullptr) continue;
        if (!node->fetched) {
            node->fetched = true;
            for (File* child : directory->contents()) {
                auto added = std::make_unique<Node>();
                added->file = child;
                added->parent = node;
                nodes_[child] = added.get();
                node->children.push_back(std::move(added));
            }
        }
        if (node->children.size() != directory->count()) {
            found = pathOf(*directory) + ": " + std::to_string(node->children.size()) +
                    " rows for " + std::to_string(directory->count()) + " entries";
            break;
        }
        for (std::size_t i = 0; i < node->children.size(); ++i) {
            if (node->children[i]->file != directory->child(i)) {
                found = pathOf(*directory) + ": row " + std::to_string(i) + " is not " +
                        pathOf(*directory->child(i));
                break;
            }
            pending.push_back(node->children[i].get());
        }
    }
    return found;
}

void RecordingObserver::showFiltered(std::shared_ptr<const FilePredicate> filter) {
    filter_ = std::move(filter);
    filtered_ = filteredCopy(*controller_.rootFile(), *filter_);
}

void RecordingObserver::fileControllerDidInsert(Directory& parent, std::size_t index) {
    lines.push_back("insert " + pathOf(*parent.child(index)) + " @" + std::to_string(index) +
                    totals(controller_));
}

void RecordingObserver::fileControllerDidMove(Directory& oldParent, std::size_t oldIndex,
                                              Directory& newParent, std::size_t newIndex) {
    lines.push_back("move " + pathOf(oldParent) + " @" + std::to_string(oldIndex) + " -> " +
                    pathOf(*newParent.child(newIndex)) + " @" + std::to_string(newIndex) +
                    totals(controller_));
}

void RecordingObserver::fileControllerDidRemove(File& file, Directory& parent, std::size_t index) {
    lines.push_back("remove " + std::string(file.path()) + " from " + pathOf(parent) + " @" +
                    std::to_string(index) + totals(controller_));
}

void RecordingObserver::fileControllerDidChangeOrder(File& file, std::ptrdiff_t oldIndex,
                                                     std::ptrdiff_t newIndex) {
    lines.push_back("order " + pathOf(file) + " " + std::to_string(oldIndex) + "->" +
                    std::to_string(newIndex));
}

void RecordingObserver::fileControllerDidChange(File& file) {
    lines.push_back("change " + pathOf(file));
}

std::vector<std::string> RecordingObserver::linesStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.starts_with(prefix)) found.push_back(line);
    return found;
}

LiveFolder::LiveFolder(const std::string& path, std::shared_ptr<const Predicate> exclusion)
    : favorite(std::make_unique<Favorite>(path, false)), controller(FileController::create(path)),
      observer(std::make_unique<RecordingObserver>(*controller)) {
    if (exclusion) {
        favorite->setFilterPredicate(std::move(exclusion));
        favorite->setFilterPredicateEnabled(true);
    }
    controller->addObserver(*observer);
    favorite->setFileController(controller);
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return controller->rootFile() != nullptr; },
                                             std::chrono::seconds(30)));
    if (controller->rootFile() != nullptr) sortAll(*controller->rootFile());
}

LiveFolder::~LiveFolder() {
    controller->removeObserver(*observer);
    favorite->setFileController(nullptr);
    MainQueue::shared().runPending(); // lets go of nodes kept for observers
}

bool LiveFolder::settle() {
    const std::string path = controller->rootPath();
    const std::string expected = freshDump(path, favorite->activeExclusion());
    return MainQueue::shared().runUntil(
        [&] {
            return controller->rootFile() != nullptr && controller->scanOperationCount() == 0 &&
                   dumpTree(*controller->rootFile()) == expected;
        },
        std::chrono::seconds(60));
}

bool LiveFolder::settleCountedOnce() {
    const std::string path = controller->rootPath();
    return MainQueue::shared().runUntil(
        [&] {
            return controller->rootFile() != nullptr && controller->scanOperationCount() == 0 &&
                   countedOnceDifferences(*controller->rootFile(), path,
                                          favorite->activeExclusion())
                       .empty();
        },
        std::chrono::seconds(60));
}

} // namespace tessera::testing
