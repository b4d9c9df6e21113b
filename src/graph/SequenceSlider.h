// The position of a slider that scrubs through a sequence of trees: values from 0 (the first
// tree) to n − 1 (the last), snapping onto a tree when within 0.01 of it, and the pair of trees
// and the fraction between them that the graph shows for a value.
#pragma once

#include "base/Date.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tessera {

class SequenceSlider {
public:
    static constexpr double kSnapThreshold = 0.01;

    /// A slider over `treeCount` trees (at least one).
    explicit SequenceSlider(std::size_t treeCount);

    struct Position {
        double value = 0;         // after snapping
        std::size_t index = 0;    // the tree the morph starts from
        double fraction = 0;      // how far towards tree index + 1, in [0, 1)
        bool reachedTree = false; // snapped onto a tree other than the last value's
    };
    /// Where the slider stands when moved to `value` (clamped to the slider's range).
    Position move(double value);

    double maximum() const { return static_cast<double>(treeCount_ - 1); }
    double lastValue() const { return lastValue_; }

private:
    std::size_t treeCount_;
    double lastValue_ = 0;
};

/// What names a tree under its tick: its name, or where two trees have the same name, the
/// name with the tree's date (when the snapshot was written, or the scan made).
struct SequenceTree {
    std::string name;
    Date date;
};
std::vector<std::string> sequenceTickLabels(const std::vector<SequenceTree>& trees);

} // namespace tessera
