#include "draw/DrawGraph.h"

#include "draw/Palette.h"
#include "model/Directory.h"
#include "model/FileTypes.h"
#include "model/MergedFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

namespace tessera {
namespace {

std::int64_t unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

DrawGraph::DrawGraph(RendererFactory factory)
    : factory_(std::move(factory)), renderer_(factory_()), pictureTime_(unixNow()) {
    minColorModeDate_ = Date::fromUnixSeconds(pictureTime_ - kColorModeDateSpan);
}

void DrawGraph::beginPicture() {
    pictureTime_ = unixNow();
}

std::unique_ptr<DrawRenderer> DrawGraph::swapRenderer(std::unique_ptr<DrawRenderer> renderer) {
    std::swap(renderer, renderer_);
    return renderer;
}

double DrawGraph::fileTypeHue(const File& file) {
    if (file.isDirectory()) return palette::kFolderHue;
    return palette::categoryHue(categoryOf(file));
}

std::vector<File*> placedOrder(Directory& directory, SizeMode mode,
                               const DrawGraph::OrderKey& order) {
    directory.sortContents(mode);
    std::vector<File*> children(directory.contents().begin(), directory.contents().end());
    if (!order) return children;
    std::vector<std::pair<std::int64_t, File*>> keyed;
    keyed.reserve(children.size());
    for (File* child : children)
        keyed.emplace_back(order(*child), child);
    std::ranges::stable_sort(keyed, std::greater{}, &std::pair<std::int64_t, File*>::first);
    for (std::size_t i = 0; i < keyed.size(); ++i)
        children[i] = keyed[i].second;
    return children;
}

std::vector<File*> shownInOrder(Directory& directory, SizeMode mode,
                                const DrawGraph::OrderKey& order) {
    if (!order) return directory.displayedContents();
    std::vector<File*> shown = placedOrder(directory, mode, order);
    if (MergedFile* rest = directory.existingMergedContents();
        rest != nullptr && rest->mergedContentCount() > 0)
        shown.push_back(rest);
    return shown;
}

double DrawGraph::wheelHue(const DrawFileView& view) const {
    if (identityHue)
        if (const auto hue = identityHue(*view.file)) return *hue;
    return view.range.upper;
}

double DrawGraph::modeHue(const File& file) const {
    if (colorMode == ColorMode::change) return changeHue ? changeHue(file) : palette::kUnchangedHue;
    return colorMode == ColorMode::fileType ? fileTypeHue(file) : dateHue(file);
}

double DrawGraph::dateHue(const File& file) const {
    const std::optional<Date> date = file.date(colorMode);
    const double oldest = static_cast<double>(minColorModeDate_.seconds);
    if (!date) return 0.65; // unknown dates count as old
    const double q = (static_cast<double>(date->seconds) - oldest) /
                     (static_cast<double>(pictureTime_) - oldest);
    if (q > 1) return 0.0;
    if (q >= 0) return (1 - q) * 0.65;
    return 0.65;
}

void DrawGraph::drawLoading(double fraction, double pulse) {
    if (viewSize_.isEmpty()) return;
    DrawRenderer& r = *renderer_;
    const double radius = 0.15 * std::min(viewSize_.width, viewSize_.height);
    r.reset(static_cast<std::size_t>(radius * kFullCircle * 4.0));
    const DrawColor accent = DrawColor::fromHue(0.57, 0.7, palette::brightness(), 0.78);
    const DrawColor edge = DrawColor::grey(palette::backgroundGrey(), 0);
    const DrawColor rest = palette::merged(0.6);
    const double inner = radius * (1 - 0.12 * pulse);
    const double line = 1.06 * radius;
    const double glow = radius * (1.12 + 0.12 * pulse);
    const double split = fraction * kFullCircle;
    const DrawPoint center{0, 0};
    r.fillRingSector(0, split, inner, line, center, accent, edge);
    r.fillRingSector(0, split, line, glow, center, edge, accent);
    r.fillRingSector(split, kFullCircle, inner, line, center, rest, edge);
    r.fillRingSector(split, kFullCircle, line, glow, center, edge, rest);
    r.commit();
}

DrawColor DrawGraph::capacityShareColor(AccountPart part) {
    switch (part) {
    case AccountPart::unattributed:
        return DrawColor::grey(0.35, 0.55);
    case AccountPart::reserved:
        return DrawColor::grey(0.5, 0.3);
    default:
        return DrawColor::grey(0.5, 0.1);
    }
}

std::optional<AccountPart> DrawGraph::accountPartAt(DrawPoint point) const {
    const double distance = std::hypot(point.x, point.y);
    double angle = std::atan2(point.y, point.x);
    if (angle < 0) angle += 2 * std::numbers::pi;
    const auto within = [](const DrawRange& range, double value) {
        return range.lower <= value && value < range.upper;
    };
    for (const ShareShape& shape : shareShapes_) {
        const bool inside = shape.isSector
                                ? within(shape.first, angle) && within(shape.second, distance)
                                : within(shape.first, point.x) && within(shape.second, point.y);
        if (inside) return shape.part;
    }
    return std::nullopt;
}

} // namespace tessera
