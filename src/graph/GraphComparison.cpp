// What the graph of a sequence says of the change between its trees: the comparison of the
// two trees it stands between, the counterparts its morph follows, the bubble's line.
#include "compare/ChangeText.h"
#include "draw/Palette.h"
#include "graph/Graph.h"
#include "model/Directory.h"
#include "model/Localization.h"

namespace tessera {

std::optional<std::pair<const Directory*, const Directory*>> Graph::comparedTrees() const {
    if (sequenceTrees_.size() < 2) return std::nullopt;
    const bool between = fileSequence_ && fileSequence_->progress > 0;
    const std::size_t first = between              ? sequenceIndex_
                              : sequenceIndex_ > 0 ? sequenceIndex_ - 1
                                                   : 0;
    return std::pair{sequenceTrees_[first], sequenceTrees_[first + 1]};
}

const TreeComparison* Graph::madeComparison() const {
    const auto trees = comparedTrees();
    if (!trees || !sequenceComparison_ || &sequenceComparison_->before() != trees->first ||
        &sequenceComparison_->after() != trees->second ||
        sequenceComparison_->sizeMode() != settings_.sizeMode)
        return nullptr;
    return sequenceComparison_.get();
}

const TreeComparison* Graph::sequenceComparison() {
    const auto trees = comparedTrees();
    if (!trees) return nullptr;
    if (madeComparison() == nullptr) {
        sequenceComparison_ =
            std::make_unique<TreeComparison>(*trees->first, *trees->second, settings_.sizeMode);
        if (fileDraw_) fileDraw_->changeHue = nullptr;
    }
    // The layouts may colour from several threads: they get the comparison itself, which
    // nothing changes while they read it.
    if (fileDraw_ && !fileDraw_->changeHue) {
        fileDraw_->changeHue = [comparison = sequenceComparison_.get()](const File& file) {
            return palette::kUnchangedHue + changeStrength(*comparison, file);
        };
        ++fileDraw_->changeHueRevision;
    }
    return sequenceComparison_.get();
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
