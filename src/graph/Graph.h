// The state and driver of one displayed graph: the tree of a file controller shown as a pie
// chart or a tree map, the layout and its renderers, navigation history, the active file under
// the pointer or chosen with the keyboard, the loading ring, the running transition and the two
// labels. The view calls drawFrame() once per frame; everything runs on the main thread.
#pragma once

#include "compare/TreeComparison.h"
#include "controller/FileControllerObserver.h"
#include "draw/Animation.h"
#include "draw/DrawGraph.h"
#include "graph/GraphLegend.h"
#include "graph/GraphNames.h"
#include "graph/GraphView.h"
#include "scan/ScanOperation.h"
#include "settings/Settings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tessera {

class FileController;
class FilePredicate;

class Graph final : public FileControllerObserver, public DrawGraphDelegate {
public:
    /// Seconds.
    static constexpr double kLoadingPulse = 2.0;
    static constexpr double kSetFileDuration = 0.28;
    static constexpr double kChangeDisplayDuration = 1.0;
    /// Placement of the active file's label, in points.
    static constexpr double kPointerOffsetY = 10.0;
    static constexpr double kViewMargin = 5.0;
    /// The share of the pie chart's hole that the centre label may take across.
    static constexpr double kCentreLabelShare = 0.85;
    /// The tree map's bubble names at most this many folders above the file under the pointer.
    static constexpr std::size_t kBubbleFolders = 4;
    static constexpr DrawSize kActiveTextPadding{10.0, 6.0};
    /// The bubble of a part of the volume wraps its sentence at this width.
    static constexpr double kPartBubbleWidth = 320.0;
    /// What a new picture at rest carries (names, cushions) fades in over this many seconds.
    static constexpr double kRestingFadeDuration = 0.2;
    /// Below this opacity what the picture at rest carries changes no pixel by half a level of
    /// 255: it is made on the first frame that shows it (not on the frame that ends a
    /// transition, which starts its fade-in and has the most to do).
    static constexpr double kLeastRestingAlphaShown = 0.5 / 255;

    struct ZoomIn {
        File* old;
    };
    struct ZoomOut {
        File* old;
    };
    struct ZoomOutIn {
        File* out;
        File* in;
    };
    struct Display {
        DrawTransition::Type type;
    };
    struct Fade {};
    using FileTransitionType = std::variant<ZoomIn, ZoomOut, ZoomOutIn, Display, Fade>;

    /// `save` is called after every settings change (the app writes settings.json).
    Graph(Settings& settings, std::function<void()> save = {});
    ~Graph() override;

    GraphDelegate* delegate = nullptr;
    void setView(GraphView* view) { view_ = view; }
    /// Makes the layout and the highlight renderer once the view is ready.
    void setUp();
    void updateAppearance();
    void viewSizeDidChange();
    /// Empties the renderers so that the next frame lays the picture out again.
    void redisplay();
    void setNeedsDisplay();

    void setFileController(std::shared_ptr<FileController> controller);
    FileController* fileController() const { return fileController_.get(); }
    void loadPackageFlag(File& file) override;
    File* file() const { return file_; }
    DrawGraph* fileDraw() const { return fileDraw_.get(); }
    bool isLoading() const { return loading_.has_value(); }
    std::optional<FileTransitionType> fileTransitionType() const;
    bool hasFadingRenderer() const { return fileTransition_ && fileTransition_->fadingDraw; }
    double rendererAlpha() const { return fileDraw_ ? fileDraw_->renderer().alpha : 1.0; }

    // Navigation.
    void navigate(File& file);
    void setFile(File& file);
    void click();
    bool canGoBack() const { return history_.index > 1; }
    bool canGoForward() const { return history_.index < history_.files.size(); }
    void goBack();
    void goForward();

    // The active file.
    DrawPoint pointerLocation;
    File* activeFile() const { return activeFile_; }
    /// The part of the volume's capacity pointed at (beside the root, where no file lies).
    std::optional<AccountPart> activePart() const { return activePart_; }
    /// How far the active file's highlight has faded in, as last drawn (1: fully).
    double activeFileAlpha() const { return activeFileDraw_ ? activeFileDraw_->alpha : 0.0; }
    void updateActiveFileFromPointer();
    void selectSibling(int offset);
    void selectParent();
    void selectFirstChild();
    void setActiveFile(File* file);

    /// Takes the settings of the graph from `next` (its favourites aside) and saves them once
    /// when any changed. The change reaches the file drawing with the transition that the most
    /// telling changed setting calls for: a new graph type fades to the other layout, a change
    /// of geometry (measure, rings, tree map options, volume space) rearranges, new colours
    /// recolour, a new merge threshold redraws, and a new animation speed waits for the next
    /// transition.
    void applySettings(const Settings& next);
    /// applySettings() of the settings as `edit(Settings&)` leaves a copy of them.
    template <typename Edit> void changeSettings(Edit&& edit) {
        Settings next = settings_;
        edit(next);
        applySettings(next);
    }
    void changeDisplay(DrawTransition::Type type);
    /// Writes the settings (applySettings() does it already).
    void saveSettings() { saved(); }
    const Settings& settings() const { return settings_; }

    /// The file a context menu was opened on; the file commands act on it while it is set.
    File* clickedFile() const { return clickedFile_; }
    void setClickedFile(File* file) { clickedFile_ = file; }
    // What assistive technology reads (GraphAccessibility.cpp).
    /// The active file (or else the shown one) with its size and share of its folder,
    /// "Videos, 12.3 GB, 41 % of Home".
    std::string accessibleDescription() const;
    /// The same of any file of the tree.
    std::string accessibleDescription(const File& file) const;
    /// The entries laid out in the picture inside `file`, in their order.
    std::vector<File*> visibleContents(File& file) const;
    /// What a screen reader says of an entry after its name: its size, its share of its folder
    /// and its place among the folder's entries, "12.3 GB, 41 % of Home, 3 of 7".
    std::string accessibleDetails(File& file) const;
    /// Counts changes of the shown folder and of the tree: nodes read before a change may be
    /// gone after it.
    std::uint64_t treeRevision() const { return treeRevision_; }

    /// The trees of a sequence and where between two of them the graph stands.
    struct FileSequence {
        std::vector<Directory*> files;
        std::size_t index;
        double progress;
    };
    /// Shows the tree between files[index] and files[index + 1] at `progress`.
    void setFileSequence(std::vector<Directory*> files, std::size_t index, double progress);
    /// The sequence while a morph between two of its trees is shown.
    const std::optional<FileSequence>& fileSequence() const { return fileSequence_; }
    /// In a sequence, what changed between the two trees the graph stands between, or,
    /// standing on one, between it and the one before (the first: the one after); else none.
    const TreeComparison* sequenceComparison();
    /// In a sequence at rest on a tree, how `file` (of that tree) changed, as the bubble says
    /// it: "12 MB in the tree before, +3 MB", "New since the tree before".
    std::optional<std::string> sequenceChangeText(const File& file) const;
    bool showsFileSequence() const { return fileSequence_.has_value(); }
    /// Whether the graph shows a sequence of trees, morphing or standing on one of them.
    bool comparesTrees() const { return sequenceTrees_.size() >= 2; }

    void finishTransition();
    /// One frame: loading ring and text, or picture, fading picture, highlight and labels.
    void drawFrame();
    /// Frames drawn so far (what waits for the next picture count on).
    std::uint64_t framesDrawn() const { return framesDrawn_; }
    /// Where the active label goes: above the pointer, inside the view's margins.
    DrawRect activeFileTextFrame() const;
    /// The labels' texts as plain text (empty without a label or a text).
    std::string mainText() const { return mainFileText_ ? mainFileText_->plainText() : ""; }
    std::string activeText() const { return activeFileText_ ? activeFileText_->plainText() : ""; }
    const GraphLabel* activeFileText() const { return activeFileText_.get(); }
    /// Lights the files of the picture that `filter` matches (a search's) and dims the rest,
    /// following the tree as it changes; none lights nothing.
    void setLitFilter(std::shared_ptr<const FilePredicate> filter);
    const FilePredicate* litFilter() const { return litFilter_.get(); }
    const std::shared_ptr<const FilePredicate>& sharedLitFilter() const { return litFilter_; }
    /// How many shapes the picture last drawn lit.
    std::size_t litFileCount() const { return litCount_; }
    /// The names written on the picture as last drawn.
    const std::vector<NameLabel>& chartNames() const { return names_.names(); }
    /// How opaque what the picture at rest carries (names, cushions) was last drawn: it fades
    /// out when a transition starts and in when the next picture settles.
    double restingAlpha() const { return restingAlpha_; }
    /// The legend of the colour mode by file type, as last drawn (none in other modes).
    const GraphLegend* legend() const {
        return settings_.colorMode == ColorMode::fileType ? &legend_ : nullptr;
    }
    /// Lights the files of `category` (none: clears), as a click on the legend does.
    void lightCategory(std::optional<FileCategory> category);
    /// Whether the last frame drew the tree map's cushions.
    bool showsCushions() const { return cushionKey_.has_value(); }
    /// The scale of the root's picture: the volume's capacity when its space is shown (the
    /// tree and every other part of it, capacityShares()), the largest tree's size when trees
    /// are compared at one scale, else 0.
    std::int64_t totalSize() const;
    /// When a whole volume's space is shown, the parts of its capacity beside the tree (drawn
    /// after the root and named in its bubble): unattributed, reserved, free.
    std::vector<AccountLine> capacityShares() const;

    // FileControllerObserver.
    void fileControllerDidUpdateProgress(const ScanProgress& progress) override;
    void fileControllerDidLoadRootFile() override { rootFileDidLoad(); }
    Directory* observedRootFile() const override;
    void fileControllerDidInsert(Directory& parent, std::size_t index) override;
    void fileControllerDidMove(Directory& oldParent, std::size_t oldIndex, Directory& newParent,
                               std::size_t newIndex) override;
    void fileControllerDidRemove(File& file, Directory& parent, std::size_t index) override;
    void fileControllerDidChangeOrder(File&, std::ptrdiff_t, std::ptrdiff_t) override {
        ++treeRevision_;
        redisplay();
    }
    void fileControllerDidChange(File& file) override;
    void fileControllerDidClose() override;

private:
    struct FileTransition {
        FileTransitionType type;
        std::unique_ptr<DrawRenderer> fadingDraw;
        Animation animation;
    };
    struct Loading {
        ScanProgress progress;
        Animation animation;
    };
    struct History {
        std::vector<File*> files;
        std::size_t index = 0; // entries up to and including the current one
    };

    void makeFileDraw();
    /// Whether the picture shows the volume's space: the option is on, sizes are allocated
    /// and the favourite knows its space.
    bool showsVolumeSpace() const;
    /// The tree and `shares` (of a whole volume, capacityShares()) together.
    std::int64_t volumeTotal(const std::vector<AccountLine>& shares) const;
    /// Hands the layout the scale of the root and the volume's parts beside it.
    void updateVolumeScale();
    /// Hands the settings to the file drawing.
    void configureFileDraw();
    /// Makes the drawing of the graph type set, fading from the old one when there was one.
    void showNewDrawing();
    void rootFileDidLoad();
    void startTransition(FileTransitionType type, bool swapRenderer, double duration,
                         Animation::ProgressCurve curve);
    void stepFileTransition();
    void activateFromKeyboard(File* file);
    void prepareActiveFileDraw(File& file);
    /// Sets the centre label's text (none: computed again when next drawn).
    void setMainText(std::optional<std::string> text);
    void setActiveText(File* file);
    /// Points at a part of the volume's capacity beside the root, and names it in the bubble.
    void setActivePart(AccountPart part);
    /// The centre label's bubble: over a tree map only.
    void updateMainLabelBackdrop();
    void drawLabel(GraphLabel& label, const DrawRect& frame);
    /// The centre label's frame, its text set first when it has none.
    std::optional<DrawRect> mainLabelFrame();
    /// Fades what the picture at rest carries (updateRestingAlpha()).
    void updateRestingAlpha();
    /// Whether what the picture at rest carries shows in this frame (kLeastRestingAlphaShown).
    bool restingLayersShow() const { return restingAlpha_ >= kLeastRestingAlphaShown; }
    /// Between two trees of a sequence: the picture is neither's, and carries nothing of theirs.
    bool isBetweenTrees() const;
    /// The names on the picture: those of the settled picture, or those of the picture a
    /// transition leaves.
    void drawNames();
    /// What the names of the picture now shown are placed for.
    GraphNames::Key namesKey();
    /// At the start of a tree map's rearrangement or recolouring, whose layout holds the views
    /// of the picture it reaches from its first frame: that picture's names and the centre
    /// label's text, made now with the transition's other start-up work rather than in the
    /// frames that first show them.
    void prepareNextNames();
    /// The tree map's cushions over the settled picture (or over the picture left).
    void drawCushions();
    /// The legend of the colour mode by file type, counted for the shown folder.
    void drawLegend();
    /// Where the legend lies, when it is shown.
    std::optional<DrawRect> legendFrame() const;
    /// What the picture at rest is made from now.
    PictureKey pictureKey() const;
    /// The dimmed picture and the lit matches over it (while the picture moves, only dimmed).
    void drawLitFiles();
    std::string defaultMainText() const;
    /// A folder's entries as the picture shows them, in its order (in a comparison, the
    /// sequence's one order): what keys walk and a screen reader lists.
    std::vector<File*> shownContents(Directory& directory) const;
    /// The first of the two trees a comparison is made of where the graph stands (see
    /// sequenceComparison()), by its index in the sequence.
    std::optional<std::size_t> comparedPair() const;
    /// The comparison of the trees `first` and `first` + 1 of the sequence, made when missing.
    const TreeComparison* pairComparison(std::size_t first);
    /// The comparison of those trees when it is made already; none otherwise.
    const TreeComparison* madeComparison() const;
    /// The counterparts of the sequence's morph between the two trees it stands between.
    DrawGraph::Counterparts sequenceCounterparts();
    double scaledDuration(double seconds) const;
    void saved();
    /// Forgets every reference into the subtree of `file`, which is going away.
    void forget(const File& file);
    /// Lets go of every node of the tree shown that the graph holds besides the shown file (the
    /// file under the pointer, the clicked one, the history, the layout's views): the tree is
    /// about to go or to give way to another. Any transition is finished first.
    void letGoOfTree();

    Settings& settings_;
    std::function<void()> save_;
    GraphView* view_ = nullptr;
    File* file_ = nullptr;
    std::optional<FileSequence> fileSequence_;
    // The trees of the sequence shown and the one stood on or left, at rest on a tree too.
    std::vector<Directory*> sequenceTrees_;
    std::size_t sequenceIndex_ = 0;
    std::vector<std::unique_ptr<TreeComparison>> pairComparisons_; // tree i with tree i + 1
    std::size_t colouredPair_ = 0; // the pair the layout's change colours come from
    std::optional<Loading> loading_;
    std::optional<FileTransition> fileTransition_;
    std::unique_ptr<GraphLabel> mainFileText_;
    double mainTextAlpha_ = 1.0;
    std::uint64_t framesDrawn_ = 0;
    std::unique_ptr<GraphLabel> activeFileText_;
    GraphNames names_;
    GraphNames nextNames_; // prepareNextNames()
    GraphLegend legend_;
    std::shared_ptr<const FilePredicate> litFilter_;
    std::unique_ptr<DrawRenderer> litDraw_;
    std::optional<PictureKey> litKey_; // of the lit shapes in litDraw_
    std::size_t litCount_ = 0;
    double restingAlpha_ = 0;
    std::optional<Animation> restingFadeIn_;
    std::unique_ptr<LabelRenderer> cushionLayer_;
    std::optional<PictureKey> cushionKey_; // of the shading in cushionLayer_
    std::unique_ptr<DrawGraph> fileDraw_;
    std::unique_ptr<DrawRenderer> activeFileDraw_;
    std::optional<double> activeSince_; // set: found under the pointer (highlight fades in)
    History history_;
    std::shared_ptr<FileController> fileController_;
    File* activeFile_ = nullptr;
    /// The part of the volume's capacity under the pointer, named in the bubble, when no file
    /// is.
    std::optional<AccountPart> activePart_;
    File* clickedFile_ = nullptr;
    std::uint64_t treeRevision_ = 0;
};

} // namespace tessera
