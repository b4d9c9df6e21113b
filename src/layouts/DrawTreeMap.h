// The tree map: every file a rectangle whose area is its share of its parent's measure, every
// folder filled by its children in squarified rows, the rows placed by one of four layouts, an
// optional border inside each folder through which its own colour shows, and rows too thin to
// see merged into one grey rectangle per folder.
#pragma once

#include "draw/DrawGraph.h"
#include "draw/ViewStore.h"
#include "layouts/TreeMapRows.h"
#include "model/ViewEnums.h"
#include "render/LabelRenderer.h"

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tessera {

class Directory;
class WorkerPool;

class DrawTreeMap final : public DrawGraph {
public:
    using Layout = TreeMapLayout;

    using Edge = TreeMapEdge;
    using Direction = TreeMapDirection;
    struct ContentRow {
        Direction direction;
        DrawRect frame;
        std::uint32_t firstCut = 0; // where neighbouring rectangles meet along the row: cuts()
        std::uint32_t cutCount = 0;
    };
    struct FileView : DrawFileView {
        DrawRect frame;
        std::uint32_t firstRow = 0; // the rows its children were laid in: contentRows()
        std::uint32_t rowCount = 0;
        bool merged = false;    // the view of a folder's merged remainder
        bool opened = false;    // its children were laid out (a folder too thin is not opened)
        bool beingRead = false; // isBeingRead() when laid out: frames of a transition read no file
    };

    explicit DrawTreeMap(RendererFactory factory);
    ~DrawTreeMap() override;

    Layout layout = Layout::spiralSnake;
    /// Border inside each folder, as a fraction of its width and height.
    double directoryBorderRatio = 0;
    bool keepAspectRatioDuringZoom = false;
    bool beginLayoutOnBottomEdge = false;
    /// The threads among which large pictures are shared out (the process's pool unless set).
    WorkerPool* workers;

    void display(File* file, std::optional<DrawTransition> transition) override;
    using DrawGraph::display;
    void drawActiveFile(File& file, DrawRenderer& into) override;
    void prepareSequenceTransition(const Counterparts& counterpartOf) override;
    void prepareTransitionEnd(const std::function<void(DrawRenderer&)>& prepare) override;
    using DrawGraph::prepareTransitionEnd;
    void endSequenceTransition() override {
        transitionFileViews_.clear();
        transitionEnd_.reset();
        previousViewsFound_ = false;
        morphsTrees_ = false;
    }
    File* fileAt(DrawPoint point, File* previous) override;
    File* zoomTarget(File& file) override;
    std::optional<DrawPoint> center(const File& file) override;
    void nameRooms(const NameFont& font, std::vector<NameRoom>& out) const override;
    std::size_t drawLitFiles(const std::function<bool(const File&)>& isLit,
                             DrawRenderer& into) const override;
    /// The cushions' shading of the picture last displayed (without a transition), an image of
    /// the view at `scale` pixels a point: black, as opaque as each pixel is dark
    /// (TreeMapCushions.cpp).
    LabelBitmap cushionShading(double scale) const;
    /// Without the lines between rectangles and around folders' areas: cushions show the
    /// hierarchy instead.
    bool strokes = true;

    const FileView* view(const File& file) const;
    const std::optional<FileView>& mainFileView() const { return mainFileView_; }
    /// The rows into which a view's children were laid, in order (current picture only).
    std::span<const ContentRow> contentRows(const FileView& view) const {
        return {rows_.data() + view.firstRow, view.rowCount};
    }
    std::span<const double> cuts(const ContentRow& row) const {
        return {cuts_.data() + row.firstCut, row.cutCount};
    }
    std::size_t viewCount() const { return fileViews_.size(); }

private:
    using Views = ViewStore<FileView>;
    /// What a picture was made from: a display from the same makes the same picture.
    struct PictureKey {
        enum class Transition { none, rearrange, recolour };
        std::uint64_t treeRevision = 0;
        const File* file = nullptr;
        double width = 0;
        double height = 0;
        SizeMode sizeMode = SizeMode::fileSize;
        ColorMode colorMode = ColorMode::hueWheel;
        std::uint64_t comparisonRevision = 0;
        double mergeThreshold = 0;
        std::int64_t totalSize = 0;
        std::vector<AccountLine> capacityShares;
        Layout layout = Layout::spiralSnake;
        double directoryBorderRatio = 0;
        bool keepAspectRatioDuringZoom = false;
        bool beginLayoutOnBottomEdge = false;
        bool strokes = true;
        bool dark = false;
        Transition transition = Transition::none;
        friend bool operator==(const PictureKey&, const PictureKey&) = default;
    };
    /// Where laying out writes (both in the .cpp): the picture itself, or a sheet that another
    /// thread fills with part of it.
    struct Picture;
    struct Sheet;
    struct Storage;
    /// The storage a tree map left behind (locking `lock` while it is handled).
    static std::unique_ptr<Storage>& spareStorage(std::unique_lock<std::mutex>& lock);
    /// What drawing a folder draws besides laying it out.
    struct DrawPass {
        bool fill;                   // the rectangles' colours
        bool strokes;                // borders and the lines between rectangles
        DrawGraphDelegate* delegate; // told of each folder before its children show
    };

    /// A zoom's two frames of its file: its own (filling the view, or as much of it as its
    /// shape allows) and where it lies when `other` fills the view.
    struct ZoomFrames {
        const File* other = nullptr;
        DrawRect own;
        DrawRect placed;
    };
    /// Leaves no views and no picture behind.
    ZoomFrames zoomFrames(File& file, File& other);
    /// A frame of a zoom into or out of `file`.
    void displayZoom(File& file, const DrawTransition& transition);
    DrawRect rootFrame(const File& file) const;
    /// The volume's free space hatched over the view, and the other parts of its capacity
    /// beside the tree as tiles after the root's frame.
    void drawCapacityShares(const File& root);
    DrawRect zoomedFrame(const FileView& view) const;
    double hueOf(const FileView& view) const;
    DrawRect insetArea(const DrawRect& frame) const;
    /// Too thin for any row of a folder's children: the merge threshold would merge them all.
    bool isBelowMergeThreshold(const DrawRect& area) const;
    FileView* fileView(File& file, bool merge);
    void layOut(Directory& directory, const File& key, bool merge);
    /// Lays out the children of the folder whose view is at `parentIndex` of `out`.
    /// `childrenAreNew`: none of them has a view yet (drawing goes down the tree once), so that
    /// they are appended without a lookup.
    template <typename Out>
    void layOutInto(Out& out, Directory& directory, std::size_t parentIndex, bool merge,
                    bool childrenAreNew) const;
    /// Returns the view's position in the store.
    std::size_t storeView(FileView view, bool isNew = false);
    /// Gives the view its hue and stores it in `out`; returns its position there.
    template <typename Out> std::size_t storeInto(Out& out, FileView view, bool isNew) const;
    void drawTree(std::size_t mainIndex, const std::optional<DrawTransition>& transition);
    /// Fills a file placed in `out`, or puts a folder on `folders` to be laid out.
    template <typename Out>
    void visit(Out& out, DrawRenderer& r, std::size_t index, std::vector<std::uint32_t>& folders,
               const DrawPass& pass) const;
    /// Lays out the folder at `index` of `out`, draws it and visits its children.
    template <typename Out>
    void drawFolder(Out& out, DrawRenderer& r, std::size_t index,
                    std::vector<std::uint32_t>& folders, const DrawPass& pass) const;
    /// Draws the folders on `folders` and everything below them.
    template <typename Out>
    void drawFolders(Out& out, DrawRenderer& r, std::vector<std::uint32_t>& folders,
                     const DrawPass& pass) const;
    /// Draws the folders at `roots` of the picture and everything below them, on all cores when
    /// there is enough to draw.
    void drawSubtrees(const std::vector<std::uint32_t>& roots, const DrawPass& pass);
    void appendSheet(const Sheet& sheet);
    /// Calls `work(first, end, shapes)` for runs of [0, count) that together cover it, in
    /// order: one run drawing into the picture's renderer (`shapes` none), or, when the count is
    /// large, runs shared out among the cores, each drawing into a sheet's renderer, appended to
    /// the picture's in order. `work` may only read the stores, whose indexes must be filled in
    /// first.
    template <typename Work> void forEachRun(DrawRenderer& r, std::size_t count, Work&& work);
    /// Calls `draw(position, view, renderer)` for each of `views` in order (forEachRun()), into
    /// `r`.
    template <typename Draw> void drawEach(DrawRenderer& r, const Views& views, Draw&& draw);
    PictureKey pictureKey(const File* file, const std::optional<DrawTransition>& t) const;
    /// A frame of a rearrangement or recolouring over its end state's views.
    void drawTransitionFrame(const DrawTransition::Type& type, double progress);
    /// Fills previousViews_ and keptViews_ once per transition.
    void findPreviousViews();
    /// Whether `key`, of a picture without a transition, is the end state of the rearrangement
    /// or recolouring whose views the map holds.
    bool endsTransition(const PictureKey& key) const;
    /// The picture of the end state of the rearrangement or recolouring just drawn, from its
    /// views: the fills and lines a fresh picture has, over what its frames were drawn on.
    void drawTransitionEnd();
    /// Appends that picture to `r`.
    void drawEndPicture(DrawRenderer& r);
    void drawRearrangeTransition(double progress);
    void drawColorTransition(double progress);
    /// A frame of a recolouring over the last one, which drawColorTransition() drew: only the
    /// rectangles' colours change, in place.
    void recolourInPlace(double progress);
    /// Notes the renderer's picture as drawColorTransition()'s, to be recoloured in place: the
    /// views it fills are listed now, when the recolouring starts, not in its first frame.
    void holdRecolourablePicture();
    DrawColor fillColor(const FileView& view, double hue, double alpha) const;

    void clearViews();

    Views fileViews_;
    Views transitionFileViews_;
    std::vector<ContentRow> rows_; // of the current picture
    std::vector<double> cuts_;
    std::optional<FileView> mainFileView_;
    std::vector<double> measures_;                 // of the children being laid out
    std::vector<std::uint32_t> foldersToDraw_;     // views of folders still to draw
    std::vector<std::uint32_t> subtreesToDraw_;    // views of folders drawn with all below them
    std::vector<std::unique_ptr<Sheet>> sheets_;   // kept for their capacity
    std::vector<const FileView*> previousViews_;   // during a rearrangement, of each view
    std::vector<char> keptViews_;                  // of each previous view
    std::optional<PictureKey> pictureKey_;         // of the views, and of the renderer's...
    std::uint64_t pictureRevision_ = 0;            // ...picture while it has this revision
    std::unique_ptr<DrawRenderer> transitionBase_; // drawn under each frame of a transition
    /// A rearrangement's end picture, made at its start (prepareTransitionEnd()).
    struct TransitionEnd {
        PictureKey key; // of the transition's views it was drawn from
        std::unique_ptr<DrawRenderer> picture;
    };
    std::optional<TransitionEnd> transitionEnd_;
    std::optional<ZoomFrames> zoom_;             // of the zoom whose picture is shown
    bool previousViewsFound_ = false;            // previousViews_ and keptViews_ hold
    std::uint64_t recolourableFrame_ = 0;        // the renderer's revision while it holds one...
    std::vector<std::uint32_t> recolouredViews_; // ...the views it fills, in order
    double pictureBorderRatio_ = 0;              // of the current picture
    double startBorderRatio_ = 0;                // of a rearrangement's start picture
    // Between two trees of a sequence, a folder is filled whole under what it holds, so that
    // what moves, comes or goes inside it never leaves a hole through to the background.
    bool morphsTrees_ = false;
};

} // namespace tessera
