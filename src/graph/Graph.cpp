#include "graph/Graph.h"

#include "controller/FileController.h"
#include "draw/Palette.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/Directory.h"
#include "model/FilePredicate.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "platform/Volumes.h"

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
    if (comparesTrees()) {
        // At one scale, each tree's root takes its share of the largest tree.
        if (!settings_.sameScale) return 0;
        std::int64_t largest = 0;
        for (const Directory* root : sequenceTrees_)
            largest = std::max(largest, root->size(settings_.sizeMode));
        return largest;
    }
    if (!showsVolumeSpace()) return 0;
    const Favorite* favorite = fileController_->favorite();
    if (!favorite->isVolume() || fileController_->rootFile() == nullptr)
        return *favorite->totalSize();
    return volumeTotal(capacityShares());
}

std::int64_t Graph::volumeTotal(const std::vector<AccountLine>& shares) const {
    // The whole volume: the tree and every other part of the capacity.
    std::int64_t total = fileController_->rootFile()->allocatedSize();
    for (const AccountLine& share : shares)
        total += share.bytes.value_or(0);
    return total;
}

bool Graph::showsVolumeSpace() const {
    if (comparesTrees() || !settings_.showVolumeAvailableSpace ||
        settings_.sizeMode != SizeMode::allocatedFileSize || !fileController_)
        return false;
    const Favorite* favorite = fileController_->favorite();
    return favorite != nullptr && favorite->totalSize().has_value();
}

std::vector<AccountLine> Graph::capacityShares() const {
    if (!showsVolumeSpace() || !fileController_->favorite()->isVolume()) return {};
    const Directory* root = fileController_->rootFile();
    if (root == nullptr) return {};
    // Asked of the volume at each picture: the favourite's figures are read again only now and
    // then, and the tree follows the disk between.
    const Favorite& favorite = *fileController_->favorite();
    VolumeAccount account;
    if (const auto space = favorite.url() ? platform::spaceOf(*favorite.url()) : std::nullopt) {
        account.used = space->used();
        account.free = space->available;
        account.reserved = space->reserved();
    } else {
        account.used = favorite.size();
        account.free = favorite.freeSize();
        account.reserved = favorite.reservedSize();
    }
    account.unattributed = account.used - root->allocatedSize();
    return tessera::capacityShares(account);
}

void Graph::updateVolumeScale() {
    if (!fileDraw_) return;
    fileDraw_->capacityShares = capacityShares();
    // The volume asked once for both.
    fileDraw_->totalSize =
        fileDraw_->capacityShares.empty() ? totalSize() : volumeTotal(fileDraw_->capacityShares);
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
    mainFileText_ = std::make_unique<GraphLabel>(view_->makeLabelRenderer());
    activeFileText_ = std::make_unique<GraphLabel>(view_->makeLabelRenderer());
    activeFileText_->cornerRadius = 4.0;
    activeFileText_->padding = kActiveTextPadding;
    activeFileText_->shadow = GraphLabel::Shadow{{4.0, -4.0}, 2.0};
    updateAppearance();
}

void Graph::makeFileDraw() {
    if (view_ == nullptr) return;
    auto factory = [view = view_] { return view->makeRenderer(); };
    if (settings_.graphType == GraphType::treeMap)
        fileDraw_ = std::make_unique<DrawTreeMap>(factory);
    else
        fileDraw_ = std::make_unique<DrawPieChart>(factory);
    configureFileDraw();
    fileDraw_->delegate = this;
    fileDraw_->setViewSize(view_->size());
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

void Graph::loadPackageFlag(File& file) {
    if (fileController_) fileController_->loadPackageFlag(file);
}

void Graph::letGoOfTree() {
    finishTransition();
    setActiveText(nullptr);
    if (activeFileDraw_) activeFileDraw_->reset();
    activeFile_ = nullptr;
    clickedFile_ = nullptr;
    history_ = {};
    if (fileDraw_) fileDraw_->display(nullptr);
}

void Graph::setFileController(std::shared_ptr<FileController> controller) {
    ++treeRevision_;
    // Nothing of the tree shown so far is kept: another controller's tree takes its place, and
    // this one's may go with its controller.
    if (fileController_) {
        letGoOfTree();
        fileController_->removeObserver(*this);
    }
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
    ++treeRevision_;
    loading_.reset();
    // A scan's finished tree replaces the picture of it that was shown while it ran, at once,
    // as each of the picture's own refinements did: nothing of that picture is kept, and the
    // folder shown stays shown. (A fade would hold the finished chart back by its length.)
    std::string shownPath;
    const bool replacesPicture = file_ != nullptr;
    if (replacesPicture) {
        shownPath = file_->relativePath();
        finishTransition();
        letGoOfTree();
        // Its names and cushions come with it, even where the picture's had not faded in yet.
        restingAlpha_ = 1;
        restingFadeIn_.reset();
    }
    file_ = fileController_ ? fileController_->rootFile() : nullptr;
    if (file_ != nullptr && !shownPath.empty())
        if (File* same = fileController_->rootFile()->fileAtPath(shownPath);
            same != nullptr && same->isDirectory())
            file_ = same;
    if (file_ != nullptr) {
        history_.files.push_back(file_);
        history_.index += 1;
    }
    if (fileDraw_) {
        fileDraw_->renderer().reset();
        updateVolumeScale();
    }
    setMainText({});
    if (delegate != nullptr && file_ != nullptr)
        delegate->graphDidLoadTree(*fileController_->rootFile());
    if (!replacesPicture)
        startTransition(Fade{}, true, kSetFileDuration, Animation::ProgressCurve::linear);
    setNeedsDisplay();
}

void Graph::fileControllerDidUpdateProgress(const ScanProgress& progress) {
    if (loading_) loading_->progress = progress;
    setMainText({});
}

void Graph::fileControllerDidInsert(Directory& parent, std::size_t index) {
    ++treeRevision_;
    File* inserted = parent.child(index);
    if (file_ != nullptr && inserted->isDescendant(*file_)) {
        setMainText({});
        setActiveText(nullptr);
    }
    redisplay();
}

void Graph::fileControllerDidMove(Directory& oldParent, std::size_t, Directory& newParent,
                                  std::size_t newIndex) {
    ++treeRevision_;
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
    ++treeRevision_;
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
    ++treeRevision_;
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
    ++treeRevision_;
    finishTransition();
    history_ = {};
    setFileController(nullptr);
}

// MARK: Frames

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
    if (file_->parent() == nullptr && totalSize() > 0 && !comparesTrees())
        return localizedFormat("file.display.allocatedSize", formatByteCount(totalSize()));
    return file_->displaySizeString(settings_.sizeMode).value_or("");
}

std::optional<DrawRect> Graph::mainLabelFrame() {
    if (!mainFileText_) return std::nullopt;
    if (!mainFileText_->hasText()) setMainText(defaultMainText());
    if (!mainFileText_->hasText()) return std::nullopt;
    const DrawSize size = mainFileText_->frameSize();
    return DrawRect{-size.width / 2, -size.height / 2, size.width, size.height};
}

void Graph::drawFrame() {
    ++framesDrawn_;
    if (view_ == nullptr || view_->size().isEmpty() || !fileDraw_) return;
    auto drawMainLabel = [&] {
        const std::optional<DrawRect> frame = mainLabelFrame();
        if (!frame) return;
        mainFileText_->renderer().alpha = mainTextAlpha_;
        drawLabel(*mainFileText_, *frame);
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
    if (!fileTransition_ && fileDraw_->rendererIsEmpty()) {
        updateVolumeScale(); // the tree may have grown or shrunk since
        fileDraw_->display(file_);
    }
    fileDraw_->renderer().draw();
    if (fileTransition_ && fileTransition_->fadingDraw) fileTransition_->fadingDraw->draw();
    updateRestingAlpha();
    drawCushions();
    drawLitFiles();
    if (activeFile_ != nullptr && activeFileDraw_) {
        prepareActiveFileDraw(*activeFile_);
        activeFileDraw_->draw();
    } else if (activePart_ && activeFileText_ && !activeFileText_->hasText() &&
               file_->parent() == nullptr) {
        setActivePart(*activePart_); // named again after a change of the tree cleared the bubble
    }
    drawNames();
    drawLegend();
    drawMainLabel();
    if (activeFileText_ && activeFileText_->hasText())
        drawLabel(*activeFileText_, activeFileTextFrame());
}

PictureKey Graph::pictureKey() const {
    return {file_,         fileDraw_.get(),       treeRevision_,
            view_->size(), view_->backingScale(), isDarkAppearance,
            settings_};
}

void Graph::setLitFilter(std::shared_ptr<const FilePredicate> filter) {
    legend_.lit.reset(); // a search's lighting replaces a kind lit from the legend
    litFilter_ = std::move(filter);
    litKey_.reset();
    litCount_ = 0;
    setNeedsDisplay();
}

void Graph::drawLitFiles() {
    if (!litFilter_) return;
    if (!litDraw_) litDraw_ = view_->makeRenderer();
    const bool moving = fileTransition_.has_value();
    if (moving ? litKey_.has_value() || litDraw_->vertexCount() == 0
               : !litKey_ || !litKey_->samePicture(pictureKey())) {
        // The veil over the whole view, in the background's grey, then the matches.
        const DrawSize size = view_->size();
        litDraw_->reset(64);
        litDraw_->fillRect({-size.width / 2, -size.height / 2, size.width, size.height},
                           DrawColor::grey(palette::backgroundGrey(), 0.65));
        litCount_ = 0;
        litKey_.reset();
        if (!moving) {
            const FilePredicate& filter = *litFilter_;
            litCount_ = fileDraw_->drawLitFiles(
                [&filter](const File& file) { return filter.evaluate(file); }, *litDraw_);
            litKey_ = pictureKey();
        }
        litDraw_->commit();
    }
    litDraw_->draw();
}

void Graph::updateRestingAlpha() {
    if (fileTransition_) {
        // What belongs to the picture being left fades with it and does not come back: the
        // next picture's is made when it settles.
        const double p = fileTransition_->animation.progress();
        const double leaving = fileTransition_->fadingDraw ? fileTransition_->fadingDraw->alpha
                                                           : std::max(0.0, 1 - 3 * p);
        restingAlpha_ = std::min(restingAlpha_, leaving);
        restingFadeIn_.reset();
        return;
    }
    // After a transition or on a first picture it fades in; what a live change in the picture
    // shown makes anew replaces what was shown at once.
    if (restingAlpha_ < 1 && !restingFadeIn_)
        restingFadeIn_.emplace(scaledDuration(kRestingFadeDuration),
                               Animation::ProgressType::clampedToUnit,
                               Animation::ProgressCurve::linear);
    if (restingFadeIn_) {
        restingFadeIn_->update();
        restingAlpha_ = restingFadeIn_->progress();
        if (restingAlpha_ >= 1)
            restingFadeIn_.reset();
        else
            setNeedsDisplay();
    } else {
        restingAlpha_ = 1;
    }
}

bool Graph::isBetweenTrees() const {
    return fileSequence_ && fileSequence_->progress > 0;
}

void Graph::drawCushions() {
    auto* map = dynamic_cast<DrawTreeMap*>(fileDraw_.get());
    if (!settings_.cushions || map == nullptr || isBetweenTrees()) {
        cushionKey_.reset();
        return;
    }
    if (!fileTransition_ && restingLayersShow()) {
        PictureKey key = pictureKey();
        if (!cushionKey_ || !cushionKey_->samePicture(key)) {
            const LabelBitmap shading = map->cushionShading(key.scale);
            if (!cushionLayer_) cushionLayer_ = view_->makeLabelRenderer();
            cushionLayer_->updateTexture(
                shading, !cushionKey_ || cushionKey_->viewSize.width != key.viewSize.width ||
                             cushionKey_->viewSize.height != key.viewSize.height ||
                             cushionKey_->scale != key.scale);
            cushionKey_ = std::move(key);
        }
    }
    if (!cushionKey_) return;
    const DrawSize size = cushionKey_->viewSize;
    cushionLayer_->alpha = restingAlpha_ * fileDraw_->renderer().alpha;
    cushionLayer_->draw({-size.width / 2, -size.height / 2, size.width, size.height});
}

std::optional<DrawRect> Graph::legendFrame() const {
    if (settings_.colorMode != ColorMode::fileType || view_ == nullptr) return std::nullopt;
    return legend_.frame(view_->size());
}

void Graph::lightCategory(std::optional<FileCategory> category) {
    setLitFilter(category ? GraphLegend::filesOf(*category) : nullptr);
    legend_.lit = category; // the legend's text shows it at the next frame
    setNeedsDisplay();
}

void Graph::drawLegend() {
    if (settings_.colorMode != ColorMode::fileType || isBetweenTrees()) return;
    legend_.update(*view_, *file_, treeRevision_, settings_.sizeMode, Animation::now());
    if (legend_.isStale()) setNeedsDisplay(); // until its turn comes
    const std::optional<DrawRect> frame = legend_.frame(view_->size());
    if (!frame) return;
    legend_.label()->renderer().alpha = 1.0;
    drawLabel(*legend_.label(), *frame);
}

void Graph::drawNames() {
    // Between two trees of a sequence the picture is neither's: it carries no names.
    if (!settings_.showNames || isBetweenTrees()) {
        names_.clear();
        return;
    }
    if (!fileTransition_ && restingLayersShow()) {
        GraphNames::Key key = namesKey();
        if (nextNames_.madeFor(key)) std::swap(names_, nextNames_);
        nextNames_.clear();
        names_.update(*view_, *fileDraw_, std::move(key));
    }
    names_.draw(restingAlpha_ * (fileTransition_ ? 1.0 : fileDraw_->renderer().alpha));
}

GraphNames::Key Graph::namesKey() {
    GraphNames::Key key{pictureKey(), {}};
    if (const std::optional<DrawRect> label = mainLabelFrame()) key.obstacles.push_back(*label);
    if (const std::optional<DrawRect> legend = legendFrame()) key.obstacles.push_back(*legend);
    return key;
}

void Graph::prepareNextNames() {
    nextNames_.clear();
    if (!fileTransition_ || view_ == nullptr || !settings_.showNames || isBetweenTrees() ||
        dynamic_cast<DrawTreeMap*>(fileDraw_.get()) == nullptr)
        return;
    const auto* display = std::get_if<Display>(&fileTransition_->type);
    if (display == nullptr || !(std::holds_alternative<DrawTransition::Rearrange>(display->type) ||
                                std::holds_alternative<DrawTransition::UpdateColor>(display->type)))
        return;
    // Used when the transition settles, if nothing the names depend on changed by then.
    nextNames_.update(*view_, *fileDraw_, namesKey());
    // The centre label's text, set anew for the picture reached (namesKey()), is typeset now too.
    if (mainFileText_ && mainFileText_->hasText())
        mainFileText_->updateIfNeeded(view_->labelTypesetter(), view_->backingScale());
}

void Graph::drawLabel(GraphLabel& label, const DrawRect& frame) {
    label.updateIfNeeded(view_->labelTypesetter(), view_->backingScale());
    view_->drawLabel(label, frame);
}

} // namespace tessera
