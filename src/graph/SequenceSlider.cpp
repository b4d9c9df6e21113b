#include "graph/SequenceSlider.h"

#include "model/Formatting.h"

#include <algorithm>
#include <cmath>

namespace tessera {

SequenceSlider::SequenceSlider(std::size_t treeCount)
    : treeCount_(std::max<std::size_t>(treeCount, 1)) {}

SequenceSlider::Position SequenceSlider::move(double value) {
    Position position;
    position.value = std::isfinite(value) ? std::clamp(value, 0.0, maximum()) : lastValue_;
    const double tick = std::round(position.value);
    if (std::abs(tick - position.value) < kSnapThreshold) {
        position.value = tick;
        position.reachedTree = tick != lastValue_;
    }
    lastValue_ = position.value;
    const double whole = std::trunc(position.value);
    position.index = static_cast<std::size_t>(whole);
    position.fraction = position.value - whole;
    return position;
}

std::vector<std::string> sequenceTickLabels(const std::vector<SequenceTree>& trees) {
    std::vector<std::string> labels;
    labels.reserve(trees.size());
    for (const SequenceTree& tree : trees) {
        const bool shared =
            std::count_if(trees.begin(), trees.end(),
                          [&](const SequenceTree& other) { return other.name == tree.name; }) > 1;
        labels.push_back(shared && !tree.date.isDistantPast()
                             ? tree.name + "\n" + formatMediumDateShortTime(tree.date)
                             : tree.name);
    }
    return labels;
}

} // namespace tessera
