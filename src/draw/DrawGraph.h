// The contract between the graph and its layouts (the pie chart, the tree map): what a layout
// is told (view size, measures, colours, transitions) and what it answers (its picture in a
// renderer, hit tests, centres). The loading ring is drawn here for both.
#pragma once

#include "base/Date.h"
#include "draw/ChartNames.h"
#include "model/Directory.h"
#include "model/FileEnums.h"
#include "render/DrawRenderer.h"
#include "scan/VolumeAccount.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace tessera {

class Directory;
class File;

/// A range of a file's share of the whole tree, or of angles and radii.
struct DrawRange {
    double lower = 0;
    double upper = 0;
    double middle() const { return (lower + upper) / 2; }
    friend bool operator==(const DrawRange&, const DrawRange&) = default;
};

/// What both layouts keep of every laid-out file.
struct DrawFileView {
    File* file = nullptr;
    DrawRange range; // the file's share of the whole tree, from the root: the hue wheel's basis
    double hue = 0;  // in the current colour mode
};

/// Which intermediate state of an animation a layout draws.
struct DrawTransition {
    /// The shown file is a descendant of `old`, which was shown before.
    struct ZoomIn {
        const File* old;
        friend bool operator==(const ZoomIn&, const ZoomIn&) = default;
    };
    /// The layout shows the deeper file while `next`, an ancestor, becomes the centre.
    struct ZoomOut {
        const File* next;
        friend bool operator==(const ZoomOut&, const ZoomOut&) = default;
    };
    /// The same file with new geometry (size mode, levels, options, volume space, sequence).
    struct Rearrange {
        friend bool operator==(const Rearrange&, const Rearrange&) = default;
    };
    /// The same geometry with new colours.
    struct UpdateColor {
        friend bool operator==(const UpdateColor&, const UpdateColor&) = default;
    };
    using Type = std::variant<ZoomIn, ZoomOut, Rearrange, UpdateColor>;

    Type type;
    double progress = 0; // 0...1

    template <typename Kind> bool is() const { return std::holds_alternative<Kind>(type); }
};

/// The graph, as its layouts see it.
class DrawGraphDelegate {
public:
    virtual ~DrawGraphDelegate() = default;
    /// Layouts call this for a folder before they show its children, so that what the tree
    /// reads lazily about it (whether it is a package) is known.
    virtual void loadPackageFlag(File& file) = 0;
};

class DrawGraph {
public:
    /// Makes the renderers of the back end in use.
    using RendererFactory = std::function<std::unique_ptr<DrawRenderer>()>;
    /// The oldest date of the date colour modes lies this far before the layout's creation.
    static constexpr std::int64_t kColorModeDateSpan = 315'360'000;

    explicit DrawGraph(RendererFactory factory);
    virtual ~DrawGraph() = default;
    DrawGraph(const DrawGraph&) = delete;
    DrawGraph& operator=(const DrawGraph&) = delete;

    DrawGraphDelegate* delegate = nullptr; // the graph, not owned
    DrawRenderer& renderer() { return *renderer_; }
    /// Puts `renderer` in place and hands back the one the layout held (transitions fade it).
    std::unique_ptr<DrawRenderer> swapRenderer(std::unique_ptr<DrawRenderer> renderer);
    std::unique_ptr<DrawRenderer> makeRenderer() const { return factory_(); }

    DrawSize viewSize() const { return viewSize_; }
    virtual void setViewSize(DrawSize size) { viewSize_ = size; }
    SizeMode sizeMode = SizeMode::fileSize;
    ColorMode colorMode = ColorMode::hueWheel;
    Date minColorModeDate() const { return minColorModeDate_; }
    /// In the colour mode by change, the hue of each file (palette::kUnchangedHue and the
    /// strengths around it), given by the graph of a comparison; none elsewhere, where every
    /// file is unchanged.
    std::function<double(const File&)> changeHue;
    /// In a comparison, what orders a folder's children in the tree map, the largest first:
    /// the same for an entry in every tree of the sequence (the largest of its sizes), so that
    /// siblings keep one order from tree to tree; none elsewhere (the folder's own order).
    using OrderKey = std::function<std::int64_t(const File&)>;
    OrderKey orderKey;
    /// In a comparison, the colour wheel's hue of each file where it has one of its own: the
    /// hue it has in the earliest tree that holds it, so that an entry keeps its colour from
    /// tree to tree; none elsewhere, where the hue is the file's place in its tree.
    std::function<std::optional<double>(const File&)> identityHue;
    /// Counts the changes of `changeHue`, `orderKey` and `identityHue`: a picture made with
    /// earlier ones is not kept.
    std::uint64_t comparisonRevision = 0;
    /// Smallest arc or edge length in points below which files are merged.
    double mergeThreshold = 2.0;
    /// The volume's capacity when a whole volume is shown, else 0.
    std::int64_t totalSize = 0;
    /// When a whole volume is shown, the parts of its capacity beside the tree, drawn after the
    /// root in this order (with the root they add up to totalSize).
    std::vector<AccountLine> capacityShares;

    /// The loading ring: `fraction` done, breathing with `pulse`.
    void drawLoading(double fraction, double pulse);
    /// Rebuilds the renderer for `file` at the given transition state.
    virtual void display(File* file, std::optional<DrawTransition> transition) = 0;
    void display(File* file) { display(file, std::nullopt); }
    /// Fills `into` with the highlight of `file`.
    virtual void drawActiveFile(File& file, DrawRenderer& into) = 0;
    /// The node of another tree of a sequence that `file` (a merged remainder when `merged`)
    /// became, or none where it went.
    using Counterparts = std::function<File*(const File& file, bool merged)>;
    /// Keeps the current views, keyed by their files' counterparts in the other tree, as the
    /// start state of a rearrange transition; views of what went keep their own files and
    /// shrink away.
    virtual void prepareSequenceTransition(const Counterparts& counterpartOf) = 0;
    virtual void endSequenceTransition() = 0;
    /// Called once an animated transition's first frame is displayed: a layout may make its
    /// last frame's picture now, so that the last frame costs no more than the others, and
    /// hand it to `prepare` (GraphView::prepareDrawing()).
    virtual void prepareTransitionEnd(const std::function<void(DrawRenderer&)>& prepare) {
        (void)prepare;
    }
    void prepareTransitionEnd() {
        prepareTransitionEnd([](DrawRenderer& renderer) { renderer.prepareDrawing(); });
    }
    /// The file under `point`; `previous` is tried first.
    virtual File* fileAt(DrawPoint point, File* previous) = 0;
    /// The part of the volume's capacity under `point` (one of capacityShares), as last drawn.
    std::optional<AccountPart> accountPartAt(DrawPoint point) const;
    /// The file to show when `file` is clicked.
    virtual File* zoomTarget(File& file) = 0;
    /// The centre of the file's view; none when it is not laid out.
    virtual std::optional<DrawPoint> center(const File& file) = 0;
    /// Room for the names of the files in the picture last displayed (without a transition).
    virtual void nameRooms(const NameFont& font, std::vector<NameRoom>& out) const = 0;
    /// Draws into `into` the shapes of the picture last displayed whose files are lit (a
    /// search's matches): a file's shape in its colour, a folder's outlined. Returns how many.
    virtual std::size_t drawLitFiles(const std::function<bool(const File&)>& isLit,
                                     DrawRenderer& into) const = 0;

    bool rendererIsEmpty() const { return renderer_->vertexCount() == 0; }

protected:
    /// The hue of a file in the date colour modes: recent files red (0), old ones blue (0.65),
    /// by its age at the moment the picture was begun.
    double dateHue(const File& file) const;
    /// The hue of a file in the colour mode by file type: its kind's, a folder's neutral one.
    static double fileTypeHue(const File& file);
    /// The colour wheel's hue of a view: its place in the tree, or in a comparison the hue of
    /// its entry.
    double wheelHue(const DrawFileView& view) const;
    /// The hue of a file in the colour modes that do not follow its place in the tree (the
    /// dates', the file type's).
    double modeHue(const File& file) const;
    /// Takes the moment of a new picture, which every file of it is dated against (reading the
    /// clock once, not once a file).
    void beginPicture();
    /// The fill of a part of the volume's capacity: neutral greys, fainter the freer.
    static DrawColor capacityShareColor(AccountPart part);
    /// Where a capacity share was drawn, for accountPartAt(): a ring sector (angles and radii),
    /// or a rectangle (x and y ranges) when `isSector` is false.
    struct ShareShape {
        AccountPart part;
        bool isSector;
        DrawRange first;
        DrawRange second;
    };
    std::vector<ShareShape> shareShapes_;

private:
    RendererFactory factory_;
    std::unique_ptr<DrawRenderer> renderer_;
    DrawSize viewSize_;
    Date minColorModeDate_;
    std::int64_t pictureTime_; // Unix seconds
};

/// Before a frame of a layout: a rearrange or recolour transition keeps the previous views
/// (`views`) as its start state (`start`) from its first frame; its last frame (progress 1.0)
/// drops them and is drawn as without a transition, as is any other display (the transition was
/// ended), so that the next rearrangement starts from the picture shown last.
template <typename Views>
void keepTransitionStart(std::optional<DrawTransition>& transition, Views& views, Views& start) {
    if (!transition || !(transition->is<DrawTransition::Rearrange>() ||
                         transition->is<DrawTransition::UpdateColor>())) {
        start.clear();
        return;
    }
    if (transition->progress == 1.0) {
        start.clear();
        transition.reset();
    } else if (start.empty()) {
        start = std::move(views);
        views.clear();
    }
}

/// `file` and its ancestors up to the first that `views` holds (or up to the root), deepest
/// first: the chain a layout lays out from the top down to reach `file`. A loop, since trees can
/// be deeper than the stack.
template <typename Views> std::vector<File*> chainToLaidOut(File& file, const Views& views) {
    std::vector<File*> chain{&file};
    while (!views.contains(chain.back()) && chain.back()->parent() != nullptr)
        chain.push_back(chain.back()->parent());
    return chain;
}

/// The children of `directory` in the order a layout places them: by `order` where given (the
/// largest key first, ties in the folder's order), else the folder's own, sorted by `mode`.
std::vector<File*> placedOrder(Directory& directory, SizeMode mode,
                               const DrawGraph::OrderKey& order);
/// What a picture of `directory` shows in its order: its children as placed, then its merged
/// remainder where it has one (children merged into it are in the list too, without a view).
std::vector<File*> shownInOrder(Directory& directory, SizeMode mode,
                                const DrawGraph::OrderKey& order);

/// A full turn as the layouts use it (and compare with, exactly).
inline constexpr double kFullCircle = 6.2831853072;

} // namespace tessera
