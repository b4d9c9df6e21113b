#include "support/LiveTree.h"

#include "model/FilePredicate.h"
#include "platform/MainQueue.h"

#include <gtest/gtest.h>

namespace tessera::testing {

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
                std::to_string(directory != nullptr ? directory->fileCount() : 1) + "\n";
        if (directory == nullptr) continue;
        for (std::size_t i = directory->count(); i > 0; --i)
            pending.emplace_back(directory->child(i - 1), depth + 1);
    }
    return text;
}

std::string freshDump(const std::string& path) {
    ScanOperation scan(path, nullptr, false, {}, MainQueue::shared());
    FilePtr root = scan.scan();
    if (!root || !root->isDirectory()) return "(no tree)";
    return dumpTree(*root->asDirectory());
}

void RecordingObserver::showFiltered(std::shared_ptr<const FilePredicate> filter) {
    filter_ = std::move(filter);
    FilePtr copy = controller_.rootFile()->filtered(*filter_);
    filtered_.reset(copy ? copy.release() : Directory::create("", {}, {}, {}).release());
}

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

LiveFolder::LiveFolder(const std::string& path)
    : favorite(std::make_unique<Favorite>(path, false)), controller(FileController::create(path)),
      observer(std::make_unique<RecordingObserver>(*controller)) {
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
    const std::string path = controller->rootURL();
    const std::string expected = freshDump(path);
    return MainQueue::shared().runUntil(
        [&] {
            return controller->rootFile() != nullptr && controller->scanOperationCount() == 0 &&
                   dumpTree(*controller->rootFile()) == expected;
        },
        std::chrono::seconds(60));
}

} // namespace tessera::testing
