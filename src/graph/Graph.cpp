#include "graph/Graph.h"

#include "controller/FileController.h"
#include "draw/Palette.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "model/Localization.h"

#include <algorithm>
#include <cstdio>

namespace tessera {

Graph::Graph(Settings& settings, std::function<void()> save)
    : settings_(settings), save_(std::move(save)) {}

Graph::~Graph() {
    if (fileController_) fileController_->removeObserver(*this);
}

void Graph::saved() {
    if (save_) save_();
}

double Graph::scaledDuration(double seconds) const {
    return settings_.animationSpeed > 0 ? seconds / settings_.animationSpeed : seconds;
}

std::int64_t Graph::totalSize() const {
    if (!settings_.showVolumeAvailableSpace || settings_.sizeMode != SizeMode::allocatedFileSize ||
        !fileController_)
        return 0;
    const Favorite* favorite = fileController_->favorite();
    if (favorite == nullptr || !favorite->totalSize()) return 0;
    return *favorite->totalSize();
}

std::optional<Graph::FileTransitionType> Graph::fileTransitionType() const {
    if (!fileTransition_) return std::nullopt;
    return fileTransition_->type;
}

// MARK: View

void Graph::setUp() {
    if (fileDraw_ || view_ == nullptr) return;
    makeFileDraw();
    activeFileDraw_ = view_->makeRenderer();
    mainFileText_ = std::make_unique<MyLabel>(view_->makeLabelRenderer());
    activeFileText_ = std::make_unique<MyLabel>(view_->makeLabelRenderer());
    activeFileText_->cornerRadius = 4.0;
    activeFileText_->padding = kActiveTextPadding;
    activeFileText_->shadow = MyLabel::Shadow{{4.0, -4.0}, 2.0};
    updateAppearance();
}

void Graph::makeFileDraw() {
    if (view_ == nullptr) return;
    auto factory = [view = view_] { return view->makeRenderer(); };
    if (settings_.graphType == GraphType::treeMap) {
        auto map = std::make_unique<DrawTreeMap>(factory);
        map->layout = settings_.treeMapLayout;
        map->directoryBorderRatio = settings_.directoryBorderRatio;
        map->keepAspectRatioDuringZoom = settings_.keepAspectRatioDuringZoom;
        map->beginLayoutOnBottomEdge = settings_.beginLayoutOnBottomEdge;
        fileDraw_ = std::move(map);
    } else {
        auto pie = std::make_unique<DrawPieChart>(factory);
        pie->levels = settings_.graphLevels;
        fileDraw_ = std::move(pie);
    }
    fileDraw_->delegate = this;
    fileDraw_->setViewSize(view_->size());
    fileDraw_->sizeMode = settings_.sizeMode;
    fileDraw_->colorMode = settings_.colorMode;
    fileDraw_->mergeThreshold = settings_.mergeThreshold;
    fileDraw_->totalSize = totalSize();
}

void Graph::updateAppearance() {
    if (view_ == nullptr) return;
    isDarkAppearance = view_->isDarkAppearance();
    if (activeFileText_) {
        activeFileText_->backgroundColor = palette::activeLabelBackground();
        activeFileText_->borderColor = palette::activeLabelBorder();
    }
    updateMainLabelBackdrop();
    // The texts carry the appearance's colours: both are set again before they are drawn.
    setMainText({});
    setActiveText(nullptr);
}

void Graph::updateMainLabelBackdrop() {
    if (!mainFileText_) return;
    // Over the pie chart the centre label sits on the empty disc; over a tree map it sits on the
    // rectangles, so it gets the bubble the pointer's label has, to stay readable.
    if (settings_.graphType == GraphType::treeMap) {
        mainFileText_->backgroundColor = palette::activeLabelBackground();
        mainFileText_->borderColor = palette::activeLabelBorder();
        mainFileText_->cornerRadius = 4.0;
        mainFileText_->padding = kActiveTextPadding;
    } else {
        mainFileText_->backgroundColor.reset();
        mainFileText_->borderColor.reset();
        mainFileText_->cornerRadius = 0;
        mainFileText_->padding = {};
    }
    mainFileText_->setNeedsUpdate();
}

void Graph::viewSizeDidChange() {
    if (view_ == nullptr) return;
    if (fileDraw_) {
        fileDraw_->setViewSize(view_->size());
        setMainText({});
    }
    redisplay();
}

void Graph::redisplay() {
    if (view_ == nullptr) return;
    if (fileDraw_) fileDraw_->renderer().reset();
    if (activeFileDraw_) activeFileDraw_->reset();
    setNeedsDisplay();
}

void Graph::setNeedsDisplay() {
    if (view_ != nullptr) view_->setNeedsDisplay();
}

// MARK: The file controller

void Graph::setFileController(std::shared_ptr<FileController> controller) {
    if (fileController_) fileController_->removeObserver(*this);
    file_ = nullptr;
    fileController_ = std::move(controller);
    if (fileController_) {
        fileController_->addObserver(*this);
        if (fileController_->rootFile() == nullptr && fileController_->scanOperationCount() >= 1) {
            loading_.emplace(Loading{{},
                                     Animation(kLoadingPulse, Animation::ProgressType::periodic,
                                               Animation::ProgressCurve::easeInOut)});
            setNeedsDisplay();
        } else {
            rootFileDidLoad();
        }
    } else {
        loading_.reset();
        if (fileDraw_) fileDraw_->renderer().reset();
        if (delegate != nullptr) delegate->graphDidChangeFile(nullptr);
    }
}

Directory* Graph::observedRootFile() const {
    return fileController_ ? fileController_->rootFile() : nullptr;
}

void Graph::rootFileDidLoad() {
    loading_.reset();
    file_ = fileController_ ? fileController_->rootFile() : nullptr;
    if (file_ != nullptr) {
        history_.files.push_back(file_);
        history_.index += 1;
    }
    if (fileDraw_) {
        fileDraw_->renderer().reset();
        fileDraw_->totalSize = totalSize();
    }
    setMainText({});
    if (delegate != nullptr && file_ != nullptr)
        delegate->graphDidLoadTree(*fileController_->rootFile());
    startTransition(Fade{}, true, kSetFileDuration, Animation::ProgressCurve::linear);
    setNeedsDisplay();
}

void Graph::fileControllerDidUpdateProgress(const ScanProgress& progress) {
    if (loading_) loading_->progress = progress;
    setMainText({});
}

void Graph::fileControllerDidInsert(Directory& parent, std::size_t index) {
    File* inserted = parent.child(index);
    if (file_ != nullptr && inserted->isDescendant(*file_)) {
        setMainText({});
        setActiveText(nullptr);
    }
    redisplay();
}

void Graph::fileControllerDidMove(Directory& oldParent, std::size_t, Directory& newParent,
                                  std::size_t newIndex) {
    File* moved = newParent.child(newIndex);
    if (file_ != nullptr) {
        if (file_->isDescendant(*moved) && delegate != nullptr) delegate->graphDidChangeFile(file_);
        if (oldParent.isDescendant(*file_) || moved->isDescendant(*file_)) {
            setMainText({});
            setActiveText(nullptr);
        }
    }
    redisplay();
}

void Graph::forget(const File& gone) {
    // The subtree is still whole here; it is released after this notification.
    if (activeFile_ != nullptr && activeFile_->isDescendant(gone)) setActiveFile(nullptr);
    if (clickedFile_ != nullptr && clickedFile_->isDescendant(gone)) clickedFile_ = nullptr;
    if (fileTransition_) {
        const bool touches = std::visit(
            [&](const auto& type) {
                using T = std::decay_t<decltype(type)>;
                if constexpr (std::is_same_v<T, ZoomIn> || std::is_same_v<T, ZoomOut>)
                    return type.old->isDescendant(gone);
                else if constexpr (std::is_same_v<T, ZoomOutIn>)
                    return type.out->isDescendant(gone) || type.in->isDescendant(gone);
                else
                    return false;
            },
            fileTransition_->type);
        if (touches) {
            // A zoom into what goes away stops at the common folder instead.
            if (const auto* outIn = std::get_if<ZoomOutIn>(&fileTransition_->type);
                outIn != nullptr && outIn->in->isDescendant(gone))
                fileTransition_.reset();
            finishTransition();
        }
    }
    std::vector<File*> kept;
    std::size_t index = history_.index;
    for (std::size_t i = 0; i < history_.files.size(); ++i) {
        if (history_.files[i]->isDescendant(gone)) {
            if (i < history_.index) --index;
            continue;
        }
        kept.push_back(history_.files[i]);
    }
    history_.files = std::move(kept);
    history_.index = index;
    // The layout's views may point into the subtree: they are rebuilt at the next frame.
    if (fileDraw_) fileDraw_->display(nullptr);
}

void Graph::fileControllerDidRemove(File& removed, Directory& parent, std::size_t) {
    const bool showsRemoved = file_ != nullptr && file_->isDescendant(removed);
    forget(removed);
    if (showsRemoved) {
        // The shown file is going away, so no transition may start from it: the parent is
        // shown at once.
        file_ = &parent;
        navigate(parent);
        if (delegate != nullptr) delegate->graphDidChangeFile(file_);
        redisplay();
        return;
    }
    if (file_ != nullptr && parent.isDescendant(*file_)) {
        setMainText({});
        setActiveText(nullptr);
    }
    redisplay();
}

void Graph::fileControllerDidChange(File& changed) {
    if (delegate != nullptr) delegate->graphDidChangeFile(file_);
    if (file_ != nullptr && changed.isDescendant(*file_)) {
        setMainText({});
        setActiveText(nullptr);
    }
    if (view_ != nullptr) {
        if (fileDraw_) fileDraw_->renderer().reset();
        if (activeFileDraw_) activeFileDraw_->reset();
        setNeedsDisplay();
    }
}

void Graph::fileControllerDidClose() {
    finishTransition();
    history_ = {};
    setFileController(nullptr);
}

// MARK: Navigation

void Graph::navigate(File& target) {
    history_.files.resize(history_.index);
    history_.files.push_back(&target);
    history_.index += 1;
    setFile(target);
}

void Graph::goBack() {
    if (!canGoBack()) return;
    history_.index -= 1;
    setFile(*history_.files[history_.index - 1]);
}

void Graph::goForward() {
    if (!canGoForward()) return;
    history_.index += 1;
    setFile(*history_.files[history_.index - 1]);
}

void Graph::setFile(File& next) {
    if (file_ == nullptr) return;
    // A running transition ends first: while it zooms out to a common folder, the folder it is
    // going into is the shown file, not the common folder.
    finishTransition();
    if (file_ == &next) return;
    for (File* node : next.ancestors()) {
        if (Directory* directory = node->asDirectory()) {
            if (fileController_) fileController_->loadUrlResources(*directory);
        }
    }
    File* old = file_;
    file_ = &next;
    if (delegate != nullptr) delegate->graphDidChangeFile(file_);
    setNeedsDisplay();
    File* common = next.commonAncestor(*old);
    if (common == nullptr) {
        startTransition(Fade{}, true, kSetFileDuration, Animation::ProgressCurve::linear);
    } else if (common == &next) {
        startTransition(ZoomOut{old}, false, scaledDuration(kSetFileDuration),
                        Animation::ProgressCurve::easeInOut);
    } else if (common == old) {
        startTransition(ZoomIn{old}, true, kSetFileDuration, Animation::ProgressCurve::linear);
    } else {
        file_ = common; // zoom out to the common folder first, then in
        startTransition(ZoomOutIn{old, &next}, false, scaledDuration(kSetFileDuration),
                        Animation::ProgressCurve::easeInOut);
    }
}

void Graph::click() {
    if (file_ == nullptr || !fileDraw_) return;
    if (activeSince_) {
        if (activeFile_ != nullptr) {
            File* target = fileDraw_->zoomTarget(*activeFile_);
            if (target == file_) {
                if (file_->parent() != nullptr) navigate(*file_->parent());
            } else if (!target->isLeaf()) {
                navigate(*target);
            }
        } else if (settings_.graphType == GraphType::treeMap && file_->parent() != nullptr &&
                   !file_->parent()->isLeaf()) {
            navigate(*file_->parent());
        }
        return;
    }
    if (activeFile_ == nullptr) return;
    if (activeFile_ == file_) {
        if (file_->parent() != nullptr) navigate(*file_->parent());
    } else if (!activeFile_->isLeaf()) {
        navigate(*activeFile_);
    }
}

// MARK: The active file

void Graph::updateActiveFileFromPointer() {
    if (!fileDraw_) return;
    File* found = fileDraw_->fileAt(pointerLocation, activeFile_);
    if (found == activeFile_) return;
    activeSince_ = Animation::now();
    setActiveFile(found != nullptr && found->parent() != nullptr ? found : nullptr);
}

void Graph::activateFromKeyboard(File* target) {
    if (target == nullptr || !fileDraw_) return;
    const auto centre = fileDraw_->center(*target);
    if (!centre) return;
    pointerLocation = *centre;
    activeSince_.reset();
    setActiveFile(target);
}

void Graph::selectSibling(int offset) {
    if (file_ == nullptr) return;
    if (activeFile_ == nullptr) {
        if (Directory* shown = file_->asDirectory()) {
            const auto contents = shown->displayedContents();
            if (!contents.empty()) activateFromKeyboard(contents.front());
        }
        return;
    }
    if (activeFile_ == file_ || activeFile_->parent() == nullptr) return;
    const auto siblings = activeFile_->parent()->displayedContents();
    const auto at = std::find(siblings.begin(), siblings.end(), activeFile_);
    if (at == siblings.end()) return;
    const auto count = static_cast<long>(siblings.size());
    const long index = ((at - siblings.begin()) + offset + count) % count;
    activateFromKeyboard(siblings[static_cast<std::size_t>(index)]);
}

void Graph::selectParent() {
    if (activeFile_ == file_) return;
    File* candidate =
        activeFile_ != nullptr && activeFile_->parent() != nullptr ? activeFile_->parent() : file_;
    if (candidate != nullptr && candidate->parent() != nullptr) activateFromKeyboard(candidate);
}

void Graph::selectFirstChild() {
    File* target = activeFile_ != nullptr ? activeFile_ : file_;
    if (target == nullptr) return;
    if (Directory* directory = target->asDirectory()) {
        const auto contents = directory->displayedContents();
        if (!contents.empty()) activateFromKeyboard(contents.front());
    }
}

void Graph::setActiveFile(File* target) {
    if (fileTransition_)
        if (const auto* display = std::get_if<Display>(&fileTransition_->type);
            display != nullptr && std::holds_alternative<DrawTransition::Rearrange>(display->type))
            return;
    if (fileSequence_) return;
    setActiveText(nullptr);
    if (activeFileDraw_) activeFileDraw_->reset();
    activeFile_ = target;
    setNeedsDisplay();
}

void Graph::setMainText(std::optional<std::string> text) {
    if (view_ == nullptr || view_->size().isEmpty() || !mainFileText_) return;
    if (!text || text->empty()) {
        mainFileText_->setText(std::nullopt, view_->labelTypesetter());
        return;
    }
    const DrawSize size = view_->size();
    LabelText label;
    label.runs.push_back({std::move(*text), LabelRun::Weight::bold,
                          0.03 * std::min(size.width, size.height), palette::labelText()});
    mainFileText_->setText(std::move(label), view_->labelTypesetter());
}

void Graph::setActiveText(File* target) {
    if (!activeFileText_ || view_ == nullptr) return;
    if (target == nullptr || !fileController_ || file_ == nullptr) {
        activeFileText_->setText(std::nullopt, view_->labelTypesetter());
        return;
    }
    LabelText text;
    text.lineSpacing = 2.0;
    text.centered = true;
    text.wraps = true;
    std::string name = fileController_->displayName(*target);
    const bool named = !name.empty();
    text.runs.push_back({std::move(name), LabelRun::Weight::bold, LabelText::kSystemFontSize,
                         palette::labelText()});
    if (const auto size = target->displaySizeString(settings_.sizeMode))
        text.runs.push_back({named ? " - " + *size : *size, LabelRun::Weight::regular,
                             LabelText::kSystemFontSize, palette::labelText()});
    if (const auto date = target->date(settings_.colorMode))
        text.runs.push_back({"\n" + formatMediumDateShortTime(*date), LabelRun::Weight::regular,
                             LabelText::kSmallSystemFontSize, palette::labelText()});
    if (settings_.graphType == GraphType::treeMap) {
        // The folders between the shown file and the active one, from the top down.
        std::string folders;
        for (File* node : target->ancestors()) {
            if (node == target || !node->isDescendant(*file_) || node == file_) continue;
            folders += fileController_->displayName(*node) + "\n";
        }
        if (!folders.empty())
            text.runs.insert(text.runs.begin(),
                             {std::move(folders), LabelRun::Weight::regular,
                              LabelText::kSmallSystemFontSize, palette::labelText()});
    }
    // The text wraps rather than leave the view.
    const double room = view_->size().width - 2 * kViewMargin - activeFileText_->insets().width;
    activeFileText_->maxSize = {std::max(1.0, room), 0};
    activeFileText_->setText(std::move(text), view_->labelTypesetter());
}

void Graph::prepareActiveFileDraw(File& active) {
    double alpha = 1.0;
    if (activeSince_) {
        const double t = (Animation::now() - *activeSince_) / kSetFileDuration;
        if (t < 1) {
            alpha = std::max(t, 0.0);
            setNeedsDisplay();
        }
    }
    activeFileDraw_->alpha = alpha;
    fileDraw_->drawActiveFile(active, *activeFileDraw_);
    if (&active != file_ && !activeFileText_->hasText()) setActiveText(&active);
}

DrawRect Graph::activeFileTextFrame() const {
    if (view_ == nullptr || !activeFileText_) return {};
    const DrawSize label = activeFileText_->frameSize();
    const DrawSize bounds = view_->size();
    const double w = label.width;
    const double h = label.height;
    double y = std::max(kViewMargin - bounds.height / 2, pointerLocation.y + kPointerOffsetY);
    if (y > bounds.height / 2 - h - kViewMargin) y = pointerLocation.y - kPointerOffsetY - h;
    double x = std::min(pointerLocation.x - w / 2, bounds.width / 2 - w - kViewMargin);
    x = std::max(x, kViewMargin - bounds.width / 2);
    return {x, y, w, h};
}

// MARK: Settings

void Graph::setGraphType(GraphType type) {
    settings_.graphType = type;
    saved();
    finishTransition();
    updateMainLabelBackdrop();
    setMainText({});
    if (!fileDraw_) {
        makeFileDraw();
        return;
    }
    // The old picture fades out over the new layout's.
    auto fading = fileDraw_->swapRenderer(fileDraw_->makeRenderer());
    makeFileDraw();
    fileTransition_.emplace(
        FileTransition{Fade{}, std::move(fading),
                       Animation(kSetFileDuration, Animation::ProgressType::clampedToUnit,
                                 Animation::ProgressCurve::linear)});
    setNeedsDisplay();
}

void Graph::setSizeMode(SizeMode mode) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.sizeMode = mode;
    saved();
    if (fileDraw_) {
        fileDraw_->sizeMode = mode;
        setMainText({});
        fileDraw_->totalSize = totalSize();
    }
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setColorMode(ColorMode mode) {
    if (settings_.colorMode == mode) return;
    finishTransition(); // the recolouring starts from its final picture
    settings_.colorMode = mode;
    saved();
    if (fileDraw_) fileDraw_->colorMode = mode;
    changeDisplay(DrawTransition::UpdateColor{});
}

void Graph::setGraphLevels(int levels) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.graphLevels = levels;
    saved();
    if (auto* pie = dynamic_cast<DrawPieChart*>(fileDraw_.get())) {
        pie->levels = levels;
        pie->updateGeometry();
    }
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::loadUrlResources(File& file) {
    if (fileController_) fileController_->loadUrlResources(file);
}

void Graph::setTreeMapLayout(TreeMapLayout layout) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.treeMapLayout = layout;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get())) map->layout = layout;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setDirectoryBorderRatio(double ratio) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.directoryBorderRatio = ratio;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get())) map->directoryBorderRatio = ratio;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setMergeThreshold(double threshold) {
    settings_.mergeThreshold = threshold;
    saved();
    if (fileDraw_) fileDraw_->mergeThreshold = threshold;
    redisplay();
}

void Graph::setAnimationSpeed(double speed) {
    settings_.animationSpeed = speed;
    saved();
}

void Graph::setShowVolumeAvailableSpace(bool show) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.showVolumeAvailableSpace = show;
    saved();
    if (fileDraw_) fileDraw_->totalSize = totalSize();
    setMainText({});
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setKeepAspectRatioDuringZoom(bool keep) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.keepAspectRatioDuringZoom = keep;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get()))
        map->keepAspectRatioDuringZoom = keep;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::setBeginLayoutOnBottomEdge(bool begin) {
    finishTransition(); // the rearrangement starts from its final picture
    settings_.beginLayoutOnBottomEdge = begin;
    saved();
    if (auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get()))
        map->beginLayoutOnBottomEdge = begin;
    changeDisplay(DrawTransition::Rearrange{});
}

void Graph::changeDisplay(DrawTransition::Type type) {
    finishTransition();
    startTransition(Display{type}, false, scaledDuration(kChangeDisplayDuration),
                    Animation::ProgressCurve::linear);
    setNeedsDisplay();
}

// MARK: Transitions

void Graph::startTransition(FileTransitionType type, bool swapRenderer, double duration,
                            Animation::ProgressCurve curve) {
    std::unique_ptr<DrawRenderer> fading;
    if (swapRenderer && fileDraw_)
        fading = fileDraw_->swapRenderer(fileDraw_->makeRenderer());
    else if (swapRenderer && view_ != nullptr)
        fading = view_->makeRenderer();
    fileTransition_.emplace(
        FileTransition{std::move(type), std::move(fading),
                       Animation(duration, Animation::ProgressType::clampedToUnit, curve)});
}

void Graph::finishTransition() {
    setActiveFile(nullptr);
    if (fileTransition_) {
        // Whatever kind, an interrupted transition ends in its final state: a zoom out and in
        // ends on the folder it was going into, and the layout shows the final picture, so
        // that a transition started next begins from it rather than from a frame half-way.
        const bool throughCommonFolder = std::holds_alternative<ZoomOutIn>(fileTransition_->type);
        File* destination =
            throughCommonFolder ? std::get<ZoomOutIn>(fileTransition_->type).in : file_;
        fileTransition_.reset();
        if (destination != file_) {
            file_ = destination;
            setMainText({});
        }
        if (file_ != nullptr && fileDraw_) fileDraw_->display(file_);
    }
    if (fileDraw_) fileDraw_->renderer().alpha = 1.0;
    mainTextAlpha_ = 1.0;
}

void Graph::stepFileTransition() {
    if (!fileTransition_ || !fileDraw_ || file_ == nullptr) return;
    FileTransition& transition = *fileTransition_;
    transition.animation.update();
    const double p = transition.animation.progress();
    DrawGraph& layout = *fileDraw_;
    auto newAnimation = [](double duration, Animation::ProgressCurve curve) {
        return Animation(duration, Animation::ProgressType::clampedToUnit, curve);
    };
    if (std::holds_alternative<Fade>(transition.type)) {
        if (layout.rendererIsEmpty()) layout.display(file_);
        layout.renderer().alpha = p;
        if (transition.fadingDraw) transition.fadingDraw->alpha = 1 - p;
        if (p >= 1) {
            layout.renderer().alpha = 1.0;
            fileTransition_.reset();
        }
    } else if (const auto* display = std::get_if<Display>(&transition.type)) {
        layout.display(file_, DrawTransition{display->type, p});
        if (p >= 1) fileTransition_.reset();
    } else if (const auto* zoomIn = std::get_if<ZoomIn>(&transition.type)) {
        if (transition.fadingDraw) {
            if (layout.rendererIsEmpty())
                layout.display(file_, DrawTransition{DrawTransition::ZoomIn{zoomIn->old}, 0});
            transition.fadingDraw->alpha = 1 - p;
            mainTextAlpha_ = 1 - p;
            if (p >= 1) {
                setMainText({});
                transition.fadingDraw.reset();
                transition.animation = newAnimation(scaledDuration(kSetFileDuration),
                                                    Animation::ProgressCurve::easeInOut);
            }
        } else {
            layout.display(file_, DrawTransition{DrawTransition::ZoomIn{zoomIn->old}, p});
            mainTextAlpha_ = p;
            if (p >= 1) fileTransition_.reset();
        }
    } else {
        File* deeper = nullptr;
        if (const auto* out = std::get_if<ZoomOut>(&transition.type)) deeper = out->old;
        if (const auto* outIn = std::get_if<ZoomOutIn>(&transition.type)) deeper = outIn->out;
        if (!transition.fadingDraw) {
            layout.display(deeper, DrawTransition{DrawTransition::ZoomOut{file_}, p});
            mainTextAlpha_ = 1 - p;
            if (p >= 1) {
                transition.fadingDraw = layout.swapRenderer(layout.makeRenderer());
                transition.animation =
                    newAnimation(kSetFileDuration, Animation::ProgressCurve::linear);
                setMainText({});
                stepFileTransition(); // the second phase starts in this same frame
                return;
            }
        } else {
            if (layout.rendererIsEmpty()) layout.display(file_);
            layout.renderer().alpha = p;
            mainTextAlpha_ = p;
            if (p >= 1) {
                layout.renderer().alpha = 1.0;
                if (const auto* outIn = std::get_if<ZoomOutIn>(&transition.type)) {
                    File* in = outIn->in;
                    fileTransition_.reset();
                    setFile(*in);
                } else {
                    fileTransition_.reset();
                }
            }
        }
    }
    setNeedsDisplay();
}

// MARK: File sequences

void Graph::setFileSequence(std::vector<Directory*> files, std::size_t index, double progress) {
    finishTransition();
    if (!fileDraw_ || index >= files.size()) return;
    const std::string path = file_ != nullptr ? file_->relativePath() : std::string();
    File* const previous = file_;
    auto at = [&](Directory* root) -> File* {
        File* found = root->fileAtPath(path);
        return found != nullptr ? found : root;
    };
    if (progress != 0 && index + 1 < files.size()) {
        file_ = at(files[index + 1]);
        if (!fileSequence_ || fileSequence_->index != index) {
            fileDraw_->display(at(files[index]));
            fileDraw_->prepareSequenceTransition(*files[index + 1]);
        }
        fileDraw_->display(file_, DrawTransition{DrawTransition::Rearrange{}, progress});
        fileSequence_ = FileSequence{std::move(files), index, progress};
    } else {
        file_ = at(files[index]);
        fileDraw_->endSequenceTransition();
        fileDraw_->display(file_);
        fileSequence_.reset();
    }
    // The centre names the tree shown, or the one the morph is heading to.
    if (file_ != previous) setMainText({});
    setNeedsDisplay();
}

// MARK: Frames

std::string Graph::accessibleDescription() const {
    if (file_ == nullptr || !fileController_) return {};
    const File& described = activeFile_ != nullptr ? *activeFile_ : *file_;
    std::string text = fileController_->displayName(described);
    if (const auto size = described.displaySizeString(settings_.sizeMode)) {
        if (!text.empty()) text += ", ";
        text += *size;
    }
    const std::int64_t whole = file_->size(settings_.sizeMode);
    if (&described != file_ && whole > 0 && described.isDescendant(*file_)) {
        const double share = 100.0 * static_cast<double>(described.size(settings_.sizeMode)) /
                             static_cast<double>(whole);
        char percent[32];
        std::snprintf(percent, sizeof percent, share < 1 ? "%.1f" : "%.0f", share);
        // ", 41 % of " then the shown folder's name.
        text += localizedFormat("graph.accessibility.share", percent);
        text += fileController_->displayName(*file_);
    }
    return text;
}

std::string Graph::defaultMainText() const {
    if (loading_) {
        const ScanProgress& progress = loading_->progress;
        if (progress.totalUnitCount == 0)
            return localizedCountFormat("file.display.childCount",
                                        static_cast<std::int64_t>(progress.completedUnitCount));
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.1f%%",
                      100.0 * static_cast<double>(progress.completedUnitCount) /
                          static_cast<double>(progress.totalUnitCount));
        return percent;
    }
    if (file_ == nullptr) return {};
    if (file_->parent() == nullptr && totalSize() > 0)
        return localizedFormat("file.display.allocatedSize", formatByteCount(totalSize()));
    return file_->displaySizeString(settings_.sizeMode).value_or("");
}

void Graph::drawFrame() {
    if (view_ == nullptr || view_->size().isEmpty() || !fileDraw_) return;
    auto drawMainLabel = [&] {
        if (!mainFileText_) return;
        if (!mainFileText_->hasText()) setMainText(defaultMainText());
        if (!mainFileText_->hasText()) return;
        const DrawSize size = mainFileText_->frameSize();
        mainFileText_->renderer().alpha = mainTextAlpha_;
        drawLabel(*mainFileText_, {-size.width / 2, -size.height / 2, size.width, size.height});
    };
    if (loading_) {
        const ScanProgress& progress = loading_->progress;
        const double fraction = progress.totalUnitCount == 0
                                    ? 0
                                    : std::clamp(static_cast<double>(progress.completedUnitCount) /
                                                     static_cast<double>(progress.totalUnitCount),
                                                 0.0, 1.0);
        loading_->animation.update();
        fileDraw_->drawLoading(fraction, loading_->animation.progress());
        fileDraw_->renderer().draw();
        drawMainLabel();
        setNeedsDisplay();
        return;
    }
    if (file_ == nullptr) return;
    stepFileTransition();
    if (!fileTransition_ && fileDraw_->rendererIsEmpty()) fileDraw_->display(file_);
    fileDraw_->renderer().draw();
    if (fileTransition_ && fileTransition_->fadingDraw) fileTransition_->fadingDraw->draw();
    if (activeFile_ != nullptr && activeFileDraw_) {
        prepareActiveFileDraw(*activeFile_);
        activeFileDraw_->draw();
    }
    drawMainLabel();
    if (activeFileText_ && activeFileText_->hasText())
        drawLabel(*activeFileText_, activeFileTextFrame());
}

void Graph::drawLabel(MyLabel& label, const DrawRect& frame) {
    label.updateIfNeeded(view_->labelTypesetter(), view_->backingScale());
    view_->drawLabel(label, frame);
}

} // namespace tessera
