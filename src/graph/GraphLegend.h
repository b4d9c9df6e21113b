// The legend of the colour mode by file type, in the graph's top left corner: each kind of file
// under the shown folder with its colour, total size (in the size mode) and share, the largest
// first. A click on a kind lights its files (and dims the rest); a second click clears it.
#pragma once

#include "model/FileEnums.h"
#include "model/FileTypes.h"
#include "render/GraphLabel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessera {

class File;
class FilePredicate;
class GraphView;

class GraphLegend {
public:
    struct Entry {
        FileCategory category;
        std::int64_t total = 0; // in the size mode: bytes, or files
    };
    /// From the view's corner, in points.
    static constexpr double kMargin = 8;

    /// A tree that changes is counted again at most this often (seconds): a count of a large
    /// tree takes a while.
    static constexpr double kRecountInterval = 1.0;

    /// Counts what lies under `shown` unless it was counted for the same tree revision and
    /// size mode, and sets the label's text. `now` is the animation clock's time: after a
    /// change in the tree alone, the count waits until kRecountInterval has passed since the
    /// last (isStale() meanwhile). Returns whether it counted.
    bool update(GraphView& view, const File& shown, std::uint64_t treeRevision, SizeMode sizeMode,
                double now);
    /// The tree changed since the count shown, which waits for its turn.
    bool isStale() const { return stale_; }
    /// The kinds under the shown folder with anything in them, largest first.
    const std::vector<Entry>& entries() const { return entries_; }
    std::int64_t total() const { return total_; }
    /// Where the legend lies in the view (origin at its centre, y up); none before update().
    std::optional<DrawRect> frame(DrawSize viewSize) const;
    /// What a screen reader says of the legend: "Kinds of files: Video, 400 KB, 40 %; ...";
    /// empty when it shows nothing.
    std::string spokenText(SizeMode sizeMode) const;
    /// Whether the legend, when shown, lies over `point` of the view.
    bool covers(DrawPoint point, DrawSize viewSize) const;
    /// The kind whose line holds `point`; none outside the lines.
    std::optional<FileCategory> categoryAt(DrawPoint point, DrawSize viewSize) const;
    GraphLabel* label() { return label_.get(); }
    /// The kind lit by a click, if any.
    std::optional<FileCategory> lit;
    /// The files of `category`.
    static std::shared_ptr<const FilePredicate> filesOf(FileCategory category);

private:
    /// "400 KB, 40 %": an entry's total and share.
    std::string amountOf(const Entry& entry, SizeMode sizeMode) const;
    /// The label's text of the counts, in the view's appearance.
    void setText(GraphView& view, SizeMode sizeMode);

    std::unique_ptr<GraphLabel> label_;
    std::vector<Entry> entries_;
    std::int64_t total_ = 0;
    struct Counted {
        const File* shown;
        std::uint64_t treeRevision;
        SizeMode sizeMode;
        bool dark;                       // of the text
        std::optional<FileCategory> lit; // of the text
        double at;                       // on the animation clock
    };
    bool stale_ = false;
    std::optional<Counted> counted_;
};

} // namespace tessera
