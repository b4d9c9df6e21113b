#include "graph/GraphLegend.h"

#include "draw/Palette.h"
#include "graph/GraphView.h"
#include "model/Directory.h"
#include "model/FilePredicate.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace tessera {
namespace {

class FilesOfCategory final : public FilePredicate {
public:
    explicit FilesOfCategory(FileCategory category) : category_(category) {}
    bool evaluate(const File& file) const override {
        return !file.isDirectory() && categoryOf(file) == category_;
    }

private:
    FileCategory category_;
};

std::string formatted(std::int64_t total, SizeMode mode) {
    if (mode == SizeMode::childCount) return localizedCountFormat("file.display.childCount", total);
    return formatByteCount(total);
}

} // namespace

std::shared_ptr<const FilePredicate> GraphLegend::filesOf(FileCategory category) {
    return std::make_shared<FilesOfCategory>(category);
}

bool GraphLegend::update(GraphView& view, const File& shown, std::uint64_t treeRevision,
                         SizeMode sizeMode, double now) {
    const bool dark = view.isDarkAppearance();
    const bool sameFolder = counted_ && counted_->shown == &shown && counted_->sizeMode == sizeMode;
    stale_ = sameFolder && counted_->treeRevision != treeRevision &&
             now - counted_->at < kRecountInterval;
    if (stale_ || (sameFolder && counted_->treeRevision == treeRevision)) {
        // Counted: only the text, when the appearance or the kind lit changed.
        if (counted_->dark != dark || counted_->lit != lit) setText(view, sizeMode);
        return false;
    }
    // Every file under the shown folder, on all cores: the folders near the top are handed
    // out, each walked by a loop (trees can be deeper than the stack). The tree stands still
    // meanwhile: this thread, the only one that changes it, waits for the walk.
    using Totals = std::array<std::int64_t, allFileCategories.size()>;
    const auto walk = [sizeMode](const File& top, Totals& into) {
        std::vector<const File*> pending{&top};
        while (!pending.empty()) {
            const File* file = pending.back();
            pending.pop_back();
            if (const Directory* directory = file->asDirectory()) {
                for (const File* child : directory->contents())
                    pending.push_back(child);
                continue;
            }
            into[static_cast<std::size_t>(categoryOf(*file))] += file->size(sizeMode);
        }
    };
    WorkerPool& pool = WorkerPool::shared();
    std::vector<const File*> parts{&shown};
    Totals totals{};
    // Down the largest folders until there are a few parts a thread.
    const std::size_t wanted = pool.threadCount() * 8;
    for (std::size_t round = 0; round < 4 && parts.size() < wanted; ++round) {
        std::vector<const File*> next;
        for (const File* part : parts) {
            if (const Directory* directory = part->asDirectory()) {
                for (const File* child : directory->contents())
                    next.push_back(child);
            } else {
                totals[static_cast<std::size_t>(categoryOf(*part))] += part->size(sizeMode);
            }
        }
        parts = std::move(next);
    }
    std::vector<Totals> partTotals(parts.size(), Totals{});
    pool.run(parts.size(), [&](std::size_t i) { walk(*parts[i], partTotals[i]); });
    for (const Totals& part : partTotals)
        for (std::size_t k = 0; k < totals.size(); ++k)
            totals[k] += part[k];
    entries_.clear();
    total_ = 0;
    for (const FileCategory category : allFileCategories) {
        const std::int64_t total = totals[static_cast<std::size_t>(category)];
        total_ += total;
        if (total > 0) entries_.push_back({category, total});
    }
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.total > b.total; });

    counted_ = Counted{&shown, treeRevision, sizeMode, dark, lit, now};
    setText(view, sizeMode);
    return true;
}

void GraphLegend::setText(GraphView& view, SizeMode sizeMode) {
    if (!label_) {
        label_ = std::make_unique<GraphLabel>(view.makeLabelRenderer());
        label_->cornerRadius = 4;
        label_->padding = {10, 6};
    }
    label_->backgroundColor = palette::activeLabelBackground();
    label_->borderColor = palette::activeLabelBorder();
    LabelText text;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        text.runs.push_back({.text = "■ ",
                             .pointSize = LabelText::kSmallSystemFontSize,
                             .color = palette::file(palette::categoryHue(entry.category))});
        text.runs.push_back(
            {.text = std::string(localizedText(categoryTextKey(entry.category))),
             .weight = lit == entry.category ? LabelRun::Weight::bold : LabelRun::Weight::regular,
             .pointSize = LabelText::kSmallSystemFontSize,
             .color = palette::labelText()});
        text.runs.push_back(
            {.text = "  " + amountOf(entry, sizeMode) + (i + 1 < entries_.size() ? "\n" : ""),
             .pointSize = LabelText::kSmallSystemFontSize,
             .color = palette::labelText(true)});
    }
    label_->setText(entries_.empty() ? std::nullopt : std::optional<LabelText>(text),
                    view.labelTypesetter());
    label_->setNeedsUpdate();
    if (counted_) {
        counted_->dark = view.isDarkAppearance();
        counted_->lit = lit;
    }
}

std::optional<DrawRect> GraphLegend::frame(DrawSize viewSize) const {
    if (!label_ || !label_->hasText()) return std::nullopt;
    const DrawSize size = label_->frameSize();
    return DrawRect{-viewSize.width / 2 + kMargin, viewSize.height / 2 - kMargin - size.height,
                    size.width, size.height};
}

std::string GraphLegend::amountOf(const Entry& entry, SizeMode sizeMode) const {
    const double share =
        total_ > 0 ? 100.0 * static_cast<double>(entry.total) / static_cast<double>(total_) : 0;
    char shareText[32];
    std::snprintf(shareText, sizeof shareText, "%.0f %%", share);
    return formatted(entry.total, sizeMode) + ", " + shareText;
}

std::string GraphLegend::spokenText(SizeMode sizeMode) const {
    std::string spoken;
    for (const Entry& entry : entries_) {
        if (!spoken.empty()) spoken += "; ";
        spoken += std::string(localizedText(categoryTextKey(entry.category))) + ", " +
                  amountOf(entry, sizeMode);
    }
    return spoken.empty() ? spoken : localizedFormat("graph.accessibility.legend", spoken);
}

bool GraphLegend::covers(DrawPoint point, DrawSize viewSize) const {
    const std::optional<DrawRect> whole = frame(viewSize);
    return whole && point.x >= whole->x && point.x <= whole->maxX() && point.y >= whole->y &&
           point.y <= whole->maxY();
}

std::optional<FileCategory> GraphLegend::categoryAt(DrawPoint point, DrawSize viewSize) const {
    const std::optional<DrawRect> whole = frame(viewSize);
    if (!whole || entries_.empty()) return std::nullopt;
    // The lines lie evenly in the text's box, from the top.
    const DrawRect text = label_->textRect();
    const double top = whole->y + text.maxY();
    const double bottom = whole->y + text.y;
    if (!covers(point, viewSize) || point.y > top || point.y < bottom) return std::nullopt;
    const auto line = static_cast<std::size_t>((top - point.y) / (top - bottom) *
                                               static_cast<double>(entries_.size()));
    return entries_[std::min(line, entries_.size() - 1)].category;
}

} // namespace tessera
