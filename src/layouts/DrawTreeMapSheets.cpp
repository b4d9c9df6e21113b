// The tree map's large pictures shared out among the cores: subtrees of about equal cost laid out
// and drawn into sheets on the worker threads, then appended to the picture in order, so that
// the picture is the one a single thread would make.
#include "layouts/DrawTreeMap.h"
#include "layouts/DrawTreeMapInternals.h"
#include "model/Directory.h"
#include "platform/WorkerPool.h"

#include <algorithm>

namespace tessera {

using namespace detail;

void DrawTreeMap::drawSubtrees(const std::vector<std::uint32_t>& roots, const DrawPass& pass) {
    if (roots.empty()) return;
    Picture picture(*this);
    DrawRenderer& r = renderer();
    const auto drawDirectly = [&](std::size_t first, std::size_t end) {
        for (std::size_t i = first; i < end; ++i) {
            foldersToDraw_.assign(1, roots[i]);
            drawFolders(picture, r, foldersToDraw_, pass);
        }
    };
    // What a subtree costs: a rectangle for each of its files, at most as many as its area holds.
    const double rectangleArea = mergeThreshold * mergeThreshold;
    std::vector<double> upTo(roots.size()); // the cost of the subtrees up to each, inclusive
    double total = 0;
    for (std::size_t i = 0; i < roots.size(); ++i) {
        const FileView& view = fileViews_.at(roots[i]);
        const auto files = static_cast<double>(view.file->asDirectory()->fileCount());
        total += 1 + std::min(files, view.frame.width * view.frame.height / rectangleArea);
        upTo[i] = total;
    }
    WorkerPool& pool = *workers;
    const std::size_t threads = pool.threadCount();
    if (threads < 2 || total < kLeastParallelWork) {
        drawDirectly(0, roots.size());
        return;
    }
    // One thread draws the first share of the subtrees straight into the picture. The others go
    // to sheets of about equal cost, a few for each other thread so that one that finishes early
    // takes another, and are appended to the picture in order afterwards.
    const auto firstBeyond = [&](double cost) {
        return static_cast<std::size_t>(std::upper_bound(upTo.begin(), upTo.end(), cost) -
                                        upTo.begin());
    };
    const std::size_t direct = firstBeyond(total / static_cast<double>(threads));
    const double directCost = direct > 0 ? upTo[direct - 1] : 0;
    const std::size_t sheetCount =
        std::min(roots.size() - direct, (threads - 1) * kSheetsPerThread);
    while (sheets_.size() < sheetCount)
        sheets_.push_back(std::make_unique<Sheet>());
    for (std::size_t index = 0, i = direct; index < sheetCount; ++index) {
        const double end = directCost + (total - directCost) * static_cast<double>(index + 1) /
                                            static_cast<double>(sheetCount);
        const std::size_t last = index + 1 == sheetCount ? roots.size() : firstBeyond(end);
        Sheet& sheet = *sheets_[index];
        sheet.clear();
        // Room for what the subtrees are expected to draw, so that the sheet seldom grows.
        const auto expected =
            static_cast<std::size_t>(std::max(0.0, end - (i > 0 ? upTo[i - 1] : 0)));
        sheet.views.reserve(expected);
        sheet.rows.reserve(expected);
        sheet.cuts.reserve(expected);
        sheet.shapes.reset(5 * expected);
        sheet.shapes.triangleStrips().reserveCapacity(expected);
        sheet.shapes.lines().reserveCapacity(2 * expected);
        sheet.shapes.color = r.color;
        if (sheet.shapes.recordsShapes() != r.recordsShapes())
            sheet.shapes.setRecordsShapes(r.recordsShapes());
        // The views of the subtrees' folders are taken now: the picture grows while the sheets
        // are drawn.
        for (; i < last; ++i)
            sheet.standIns.push_back(
                {static_cast<std::uint32_t>(sheet.store(fileViews_.at(roots[i]), true)), roots[i]});
    }
    pool.run(sheetCount + 1, [&](std::size_t job) {
        if (job == 0) {
            drawDirectly(0, direct);
            return;
        }
        Sheet& sheet = *sheets_[job - 1];
        for (const Sheet::StandIn& standIn : sheet.standIns) {
            sheet.folders.assign(1, standIn.local);
            drawFolders(sheet, sheet.shapes, sheet.folders, pass);
        }
    });
    // Each sheet's references to its rows and cuts become the picture's, then the sheets are
    // appended in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> bases(sheetCount); // rows, cuts
    std::size_t rowCount = rows_.size();
    std::size_t cutCount = cuts_.size();
    for (std::size_t sheet = 0; sheet < sheetCount; ++sheet) {
        bases[sheet] = {static_cast<std::uint32_t>(rowCount), static_cast<std::uint32_t>(cutCount)};
        rowCount += sheets_[sheet]->rows.size();
        cutCount += sheets_[sheet]->cuts.size();
    }
    pool.run(sheetCount, [&](std::size_t index) {
        Sheet& sheet = *sheets_[index];
        for (FileView& view : sheet.views)
            view.firstRow += bases[index].first;
        for (ContentRow& row : sheet.rows)
            row.firstCut += bases[index].second;
    });
    for (std::size_t sheet = 0; sheet < sheetCount; ++sheet)
        appendSheet(*sheets_[sheet]);
}

void DrawTreeMap::appendSheet(const Sheet& sheet) {
    rows_.insert(rows_.end(), sheet.rows.begin(), sheet.rows.end());
    cuts_.insert(cuts_.end(), sheet.cuts.begin(), sheet.cuts.end());
    auto from = sheet.views.begin();
    for (const Sheet::StandIn& standIn : sheet.standIns) {
        const auto at = sheet.views.begin() + standIn.local;
        fileViews_.append(from, at);
        fileViews_.at(standIn.picture) = *at;
        from = at + 1;
    }
    fileViews_.append(from, sheet.views.end());
    renderer().append(sheet.shapes);
}

} // namespace tessera
