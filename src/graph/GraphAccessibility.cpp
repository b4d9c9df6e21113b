// What the graph tells assistive technology: the entries it lays out and, for each, its size,
// its share of its folder and its place among the folder's entries.
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "model/Localization.h"

#include <algorithm>
#include <cstdio>

namespace tessera {
namespace {

// ", 41 % of Home": the share of `file` in its folder; empty for a folder of nothing or a root.
std::string shareOfFolder(const File& file, const FileController& controller, SizeMode mode) {
    const File* folder = file.parent();
    if (folder == nullptr) return {};
    const std::int64_t whole = folder->size(mode);
    if (whole <= 0) return {};
    const double share = 100.0 * static_cast<double>(file.size(mode)) / static_cast<double>(whole);
    char percent[32];
    std::snprintf(percent, sizeof percent, share < 1 ? "%.1f" : "%.0f", share);
    return localizedFormat("graph.accessibility.share", {percent, controller.displayName(*folder)});
}

} // namespace

std::vector<File*> Graph::shownContents(Directory& directory) const {
    if (!fileDraw_ || !fileDraw_->orderKey) return directory.displayedContents();
    // In a comparison's one order, without what its remainder took.
    std::vector<File*> shown = shownInOrder(directory, settings_.sizeMode, fileDraw_->orderKey);
    std::erase_if(shown, [this](const File* child) { return !fileDraw_->center(*child); });
    return shown;
}

std::vector<File*> Graph::visibleContents(File& file) const {
    Directory* directory = file.asDirectory();
    if (directory == nullptr || !fileDraw_) return {};
    std::vector<File*> shown = shownContents(*directory);
    std::erase_if(shown, [this](const File* child) { return !fileDraw_->center(*child); });
    return shown;
}

std::string Graph::accessibleDetails(File& file) const {
    if (!fileController_) return {};
    std::string text = file.displaySizeString(settings_.sizeMode).value_or("");
    text += shareOfFolder(file, *fileController_, settings_.sizeMode);
    // A folder says how many files it holds: one to zoom into.
    if (const Directory* folder = file.asDirectory(); folder != nullptr && &file != file_)
        text += ", " + localizedCountFormat("file.display.childCount", folder->fileCount());
    if (File* folder = file.parent(); folder != nullptr && &file != file_) {
        const auto siblings = visibleContents(*folder);
        if (const auto at = std::ranges::find(siblings, &file); at != siblings.end()) {
            const auto place = std::to_string(at - siblings.begin() + 1);
            text += localizedFormat("graph.accessibility.position",
                                    {place, std::to_string(siblings.size())});
        }
    }
    // In a comparison, how it changed, as the bubble says it.
    if (const auto change = sequenceChangeText(file)) text += ", " + *change;
    return text;
}

std::string Graph::accessibleDescription() const {
    if (file_ == nullptr) return {};
    return accessibleDescription(activeFile_ != nullptr ? *activeFile_ : *file_);
}

std::string Graph::accessibleDescription(const File& described) const {
    if (!fileController_) return {};
    std::string text = fileController_->displayName(described);
    if (const auto size = described.displaySizeString(settings_.sizeMode)) {
        if (!text.empty()) text += ", ";
        text += *size;
    }
    if (&described != file_) text += shareOfFolder(described, *fileController_, settings_.sizeMode);
    return text;
}

} // namespace tessera
