// What the graph of a sequence says of the change between its trees: the comparison of the
// two trees it stands between, the counterparts its morph follows, the bubble's line.
#include "compare/ChangeText.h"
#include "draw/Palette.h"
#include "graph/Graph.h"
#include "model/Directory.h"
#include "model/Localization.h"

namespace tessera {

namespace {

// The largest size over the sequence of the entry that `file` (of trees[k]) is: its own and
// its counterparts', followed from tree to tree in both directions.
std::int64_t largestSizeOverSequence(const File& file, const std::vector<Directory*>& trees,
                                     const std::vector<const TreeComparison*>& pairs,
                                     SizeMode mode) {
    const File* root = &file;
    while (root->parent() != nullptr)
        root = root->parent();
    const auto at = std::ranges::find(trees, root);
    std::int64_t largest = file.size(mode);
    if (at == trees.end()) return largest;
    const auto k = static_cast<std::size_t>(at - trees.begin());
    const File* later = &file;
    for (std::size_t j = k; later != nullptr && j + 1 < trees.size(); ++j)
        if ((later = pairs[j]->counterpart(*later)) != nullptr)
            largest = std::max(largest, later->size(mode));
    const File* earlier = &file;
    for (std::size_t j = k; earlier != nullptr && j > 0; --j)
        if ((earlier = pairs[j - 1]->counterpart(*earlier)) != nullptr)
            largest = std::max(largest, earlier->size(mode));
    return largest;
}

// The colour wheel's hue of every entry of `root` as a layout places it: each child takes the
// share of its folder's range that its measure takes of the folder's, in `order`'s order (the
// tree map's one order of the sequence) or the folder's own, and its hue is the top of its
// range. Sorted by entry, for lookups.
std::vector<std::pair<const File*, double>>
wheelHues(Directory& root, SizeMode mode, const std::function<std::int64_t(const File&)>& order) {
    std::vector<std::pair<const File*, double>> hues{{&root, 1.0}};
    struct Range {
        Directory* folder;
        double lower;
        double upper;
    };
    std::vector<Range> pending{{&root, 0, 1}};
    while (!pending.empty()) {
        const Range range = pending.back();
        pending.pop_back();
        Directory& folder = *range.folder;
        const std::vector<File*> children = placedOrder(folder, mode, order);
        const auto total = static_cast<double>(folder.size(mode));
        double cumulative = 0;
        double previousLower = range.upper;
        for (File* child : children) {
            cumulative += static_cast<double>(child->size(mode));
            const double fraction = total == 0 ? 0 : cumulative / total;
            const double lower = range.upper - fraction * (range.upper - range.lower);
            hues.emplace_back(child, previousLower);
            if (Directory* sub = child->asDirectory())
                pending.push_back({sub, lower, std::max(lower, previousLower)});
            previousLower = lower;
        }
    }
    std::ranges::sort(hues);
    return hues;
}

// The hue of `file` (of one of `trees`) in the earliest tree that holds its entry.
std::optional<double>
identityHueOf(const File& file, const std::vector<Directory*>& trees,
              const std::vector<const TreeComparison*>& pairs,
              const std::vector<std::vector<std::pair<const File*, double>>>& hues) {
    const File* root = &file;
    while (root->parent() != nullptr)
        root = root->parent();
    const auto at = std::ranges::find(trees, root);
    if (at == trees.end()) return std::nullopt;
    auto k = static_cast<std::size_t>(at - trees.begin());
    const File* entry = &file;
    while (k > 0) {
        const File* earlier = pairs[k - 1]->counterpart(*entry);
        if (earlier == nullptr) break;
        entry = earlier;
        --k;
    }
    const auto& inTree = hues[k];
    const auto found =
        std::ranges::lower_bound(inTree, entry, {}, &std::pair<const File*, double>::first);
    if (found == inTree.end() || found->first != entry) return std::nullopt;
    return found->second;
}

} // namespace

std::optional<std::size_t> Graph::comparedPair() const {
    if (sequenceTrees_.size() < 2) return std::nullopt;
    const bool between = fileSequence_ && fileSequence_->progress > 0;
    return between ? sequenceIndex_ : sequenceIndex_ > 0 ? sequenceIndex_ - 1 : 0;
}

const TreeComparison* Graph::pairComparison(std::size_t first) {
    // The layout's colours and order read the comparisons: they go first.
    const auto forgetHooks = [this] {
        if (!fileDraw_) return;
        fileDraw_->changeHue = nullptr;
        fileDraw_->orderKey = nullptr;
        fileDraw_->identityHue = nullptr;
    };
    if (pairComparisons_.size() != sequenceTrees_.size() - 1) {
        forgetHooks();
        pairComparisons_.clear();
        pairComparisons_.resize(sequenceTrees_.size() - 1);
    }
    std::unique_ptr<TreeComparison>& made = pairComparisons_[first];
    if (!made || &made->before() != sequenceTrees_[first] ||
        &made->after() != sequenceTrees_[first + 1] || made->sizeMode() != settings_.sizeMode) {
        forgetHooks();
        made = std::make_unique<TreeComparison>(*sequenceTrees_[first], *sequenceTrees_[first + 1],
                                                settings_.sizeMode);
    }
    return made.get();
}

const TreeComparison* Graph::madeComparison() const {
    const auto first = comparedPair();
    if (!first || *first >= pairComparisons_.size()) return nullptr;
    const TreeComparison* made = pairComparisons_[*first].get();
    if (made == nullptr || &made->before() != sequenceTrees_[*first] ||
        &made->after() != sequenceTrees_[*first + 1] || made->sizeMode() != settings_.sizeMode)
        return nullptr;
    return made;
}

const TreeComparison* Graph::sequenceComparison() {
    const auto first = comparedPair();
    if (!first) {
        if (fileDraw_ && fileDraw_->orderKey) {
            fileDraw_->orderKey = nullptr;
            ++fileDraw_->comparisonRevision;
        }
        return nullptr;
    }
    // Every pair is compared: siblings keep one order over the whole sequence.
    std::vector<const TreeComparison*> pairs;
    for (std::size_t i = 0; i + 1 < sequenceTrees_.size(); ++i)
        pairs.push_back(pairComparison(i));
    const TreeComparison* comparison = pairs[*first];
    // The layouts may read these from several threads: they get comparisons that nothing
    // changes while they are read.
    if (fileDraw_ && (!fileDraw_->changeHue || colouredPair_ != *first)) {
        fileDraw_->changeHue = [comparison](const File& file) {
            return palette::kUnchangedHue + changeStrength(*comparison, file);
        };
        colouredPair_ = *first;
        ++fileDraw_->comparisonRevision;
    }
    if (fileDraw_ && !fileDraw_->orderKey) {
        fileDraw_->orderKey = [trees = sequenceTrees_, pairs,
                               mode = settings_.sizeMode](const File& file) {
            return largestSizeOverSequence(file, trees, pairs, mode);
        };
        ++fileDraw_->comparisonRevision;
    }
    if (fileDraw_ && !fileDraw_->identityHue) {
        // The hues each tree's entries have where they are, placed as the layouts place them.
        auto hues = std::make_shared<std::vector<std::vector<std::pair<const File*, double>>>>();
        for (Directory* tree : sequenceTrees_)
            hues->push_back(wheelHues(*tree, settings_.sizeMode, fileDraw_->orderKey));
        fileDraw_->identityHue = [trees = sequenceTrees_, pairs, hues](const File& file) {
            return identityHueOf(file, trees, pairs, *hues);
        };
        ++fileDraw_->comparisonRevision;
    }
    return comparison;
}

DrawGraph::Counterparts Graph::sequenceCounterparts() {
    // Renamed folders are followed; what went has none and shrinks away.
    const TreeComparison* comparison = sequenceComparison();
    return [comparison](const File& file, bool merged) {
        return comparison->counterpartOfShape(file, merged);
    };
}

std::optional<std::string> Graph::sequenceChangeText(const File& file) const {
    if (fileSequence_ || file.asMerged() != nullptr) return std::nullopt;
    const TreeComparison* comparison = madeComparison();
    if (comparison == nullptr) return std::nullopt;
    // Standing on a later tree, the change since the one before; on the first, until the next.
    const bool later = sequenceIndex_ > 0;
    const File* other = comparison->counterpart(file);
    if (other == nullptr)
        return std::string(localizedText(later ? "comparison.added" : "comparison.removedNext"));
    std::string text;
    if (file.parent() != nullptr && other->relativePath() != file.relativePath())
        text = localizedFormat(later ? "comparison.renamedFrom" : "comparison.renamedTo",
                               other->relativePath()) +
               "\n";
    const SizeMode mode = comparison->sizeMode();
    const std::int64_t own = file.size(mode);
    const std::int64_t others = other->size(mode);
    text += localizedFormat(
        later ? "comparison.was" : "comparison.becomes",
        {measureText(others, mode), changeText(later ? own - others : others - own, mode)});
    return text;
}

} // namespace tessera
