// The graph's navigation (history, zooms, siblings) and the file under the pointer or
// selected, with its bubble.
#include "controller/FileController.h"
#include "draw/Palette.h"
#include "graph/Graph.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/Directory.h"
#include "model/FileTypes.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "model/Utf8.h"

#include <algorithm>
#include <cstdio>

namespace tessera {

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
            if (fileController_) fileController_->loadPackageFlag(*directory);
        }
    }
    File* old = file_;
    file_ = &next;
    ++treeRevision_;
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
    // A kind of file in the legend: its files lit, or, lit already, nothing any more.
    if (const GraphLegend* shown = legend(); shown != nullptr && view_ != nullptr)
        if (const auto category = shown->categoryAt(pointerLocation, view_->size())) {
            lightCategory(legend_.lit == category ? std::nullopt : category);
            return;
        }
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
    // The legend covers the picture: nothing under it is pointed at.
    const bool overLegend =
        legend() != nullptr && view_ != nullptr && legend_.covers(pointerLocation, view_->size());
    File* found = overLegend ? nullptr : fileDraw_->fileAt(pointerLocation, activeFile_);
    // Beside the root of a whole volume: the other parts of its capacity.
    const std::optional<AccountPart> part =
        found == nullptr && !overLegend && file_ != nullptr && file_->parent() == nullptr
            ? fileDraw_->accountPartAt(pointerLocation)
            : std::nullopt;
    if (found == activeFile_ && part == activePart_) return;
    activeSince_ = Animation::now();
    setActiveFile(found != nullptr && found->parent() != nullptr ? found : nullptr);
    if (part && activeFile_ == nullptr) setActivePart(*part);
}

void Graph::setActivePart(AccountPart part) {
    activePart_ = part;
    if (!activeFileText_ || view_ == nullptr) return;
    const std::vector<AccountLine> shares = capacityShares();
    const auto share = std::find_if(shares.begin(), shares.end(),
                                    [&](const AccountLine& line) { return line.part == part; });
    LabelText text;
    text.lineSpacing = 2.0;
    text.centered = true;
    text.wraps = true;
    text.runs.push_back({std::string(accountPartName(part)), LabelRun::Weight::bold,
                         LabelText::kSystemFontSize, palette::labelText()});
    if (share != shares.end() && share->bytes) {
        std::string size = " - " + formatByteCount(*share->bytes);
        if (const std::int64_t total = volumeTotal(shares); total > 0) {
            char percent[32];
            std::snprintf(percent, sizeof percent, " (%.1f%%)",
                          100.0 * static_cast<double>(*share->bytes) / static_cast<double>(total));
            size += percent;
        }
        text.runs.push_back({std::move(size), LabelRun::Weight::regular, LabelText::kSystemFontSize,
                             palette::labelText()});
    }
    text.runs.push_back({"\n" + std::string(accountPartMeaning(part)), LabelRun::Weight::regular,
                         LabelText::kSmallSystemFontSize, palette::labelText()});
    const double room = view_->size().width - 2 * kViewMargin - activeFileText_->insets().width;
    activeFileText_->maxSize = {std::max(1.0, std::min(room, kPartBubbleWidth)), 0};
    activeFileText_->setText(std::move(text), view_->labelTypesetter());
    setNeedsDisplay();
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
            const auto contents = shownContents(*shown);
            if (!contents.empty()) activateFromKeyboard(contents.front());
        }
        return;
    }
    if (activeFile_ == file_ || activeFile_->parent() == nullptr) return;
    const auto siblings = shownContents(*activeFile_->parent());
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
        const auto contents = shownContents(*directory);
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
    activePart_.reset();
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
    label.centered = true;
    mainFileText_->maxSize = {};
    label.runs.push_back({std::move(*text), LabelRun::Weight::bold,
                          0.03 * std::min(size.width, size.height), palette::labelText()});
    // In the pie chart the text stays inside the hole: a smaller type, then two lines.
    if (const auto* pie = dynamic_cast<const DrawPieChart*>(fileDraw_.get())) {
        const double room = 2 * pie->radius().min * kCentreLabelShare;
        const double width = view_->labelTypesetter().measure(label, {}).width;
        if (room > 0 && width > room) {
            constexpr double kSmallest = 0.75;
            const double scale = std::max(room / width, kSmallest);
            label.runs.front().pointSize *= scale;
            if (room / width < kSmallest) {
                label.wraps = true;
                mainFileText_->maxSize = {room, 0};
            }
        }
    }
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
    std::string name = isolatedName(fileController_->displayName(*target));
    const bool named = !name.empty();
    text.runs.push_back({std::move(name), LabelRun::Weight::bold, LabelText::kSystemFontSize,
                         palette::labelText()});
    if (const auto size = target->displaySizeString(settings_.sizeMode))
        text.runs.push_back({named ? " - " + *size : *size, LabelRun::Weight::regular,
                             LabelText::kSystemFontSize, palette::labelText()});
    sequenceComparison(); // made once for the pair stood on
    if (const auto change = sequenceChangeText(*target))
        text.runs.push_back({"\n" + *change, LabelRun::Weight::regular,
                             LabelText::kSmallSystemFontSize, palette::labelText()});
    if (const auto date = target->date(settings_.colorMode))
        text.runs.push_back({"\n" + formatMediumDateShortTime(*date), LabelRun::Weight::regular,
                             LabelText::kSmallSystemFontSize, palette::labelText()});
    // In the colour mode by file type, a file's kind: what its colour stands for.
    if (settings_.colorMode == ColorMode::fileType && !target->isDirectory() &&
        target->asMerged() == nullptr)
        text.runs.push_back(
            {"\n" + std::string(localizedText(categoryTextKey(categoryOf(*target)))),
             LabelRun::Weight::regular, LabelText::kSmallSystemFontSize, palette::labelText()});
    if (settings_.graphType == GraphType::treeMap) {
        // The folders between the shown file and the active one, from the top down: the
        // nearest few, below an ellipsis when there are more, so that the bubble stays the
        // size of a few lines however deep the file lies. One walk up from the file, which the
        // picture shows at most as many levels below the shown file as the view can hold.
        std::vector<const File*> nearest;
        bool more = false;
        const File* node = target->parent();
        for (; node != nullptr && node != file_; node = node->parent()) {
            if (nearest.size() < kBubbleFolders)
                nearest.push_back(node);
            else
                more = true;
        }
        std::string folders;
        if (node == file_) {
            if (more) folders = "\u2026\n";
            for (auto it = nearest.rbegin(); it != nearest.rend(); ++it)
                folders += isolatedName(fileController_->displayName(**it)) + "\n";
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
    // Inside the view, however large the label.
    const auto inside = [&](double x, double y) {
        x = std::max(std::min(x, bounds.width / 2 - w - kViewMargin),
                     kViewMargin - bounds.width / 2);
        y = std::max(std::min(y, bounds.height / 2 - h - kViewMargin),
                     kViewMargin - bounds.height / 2);
        return DrawRect{x, y, w, h};
    };
    double y = std::max(kViewMargin - bounds.height / 2, pointerLocation.y + kPointerOffsetY);
    if (y > bounds.height / 2 - h - kViewMargin) y = pointerLocation.y - kPointerOffsetY - h;
    double x = std::min(pointerLocation.x - w / 2, bounds.width / 2 - w - kViewMargin);
    x = std::max(x, kViewMargin - bounds.width / 2);
    const DrawRect preferred{x, y, w, h};
    if (!mainFileText_ || !mainFileText_->hasText()) return preferred;

    // The centre label stays readable: the bubble goes to the other side of the pointer, else
    // beside the label on the pointer's side, else above or below it.
    const DrawSize centreSize = mainFileText_->frameSize();
    const DrawRect centre{-centreSize.width / 2 - kViewMargin, -centreSize.height / 2 - kViewMargin,
                          centreSize.width + 2 * kViewMargin, centreSize.height + 2 * kViewMargin};
    const auto clear = [&](const DrawRect& frame) {
        return frame.maxX() <= centre.x || frame.x >= centre.maxX() || frame.maxY() <= centre.y ||
               frame.y >= centre.maxY();
    };
    const bool rightSide = pointerLocation.x >= 0;
    const bool upperSide = pointerLocation.y >= 0;
    for (const DrawRect& candidate : {preferred, inside(x, pointerLocation.y - kPointerOffsetY - h),
                                      inside(x, pointerLocation.y + kPointerOffsetY),
                                      inside(rightSide ? centre.maxX() : centre.x - w, y),
                                      inside(x, upperSide ? centre.maxY() : centre.y - h),
                                      inside(x, upperSide ? centre.y - h : centre.maxY())})
        if (clear(candidate)) return candidate;
    return preferred;
}

} // namespace tessera
