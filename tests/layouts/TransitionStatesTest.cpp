// The states both layouts define part-way through each transition, checked against the exact
// geometry and colours they are given: zoom frames at several fractions, the alphas, frames and
// hues of rearranging and recolouring frames, the highlight, the free space's hatching, the tree
// map's row lines, date hues and the re-keying of views for the next tree of a sequence.
#include "compare/TreeComparison.h"
#include "draw/Palette.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/MergedFile.h"
#include "support/TreeBuilders.h"

#include <cmath>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

std::unique_ptr<DrawTreeMap> makeMap(double width, double height) {
    auto map = std::make_unique<DrawTreeMap>([] { return std::make_unique<DrawRenderer>(); });
    map->setViewSize({width, height});
    return map;
}

std::unique_ptr<DrawPieChart> makeChart(double width, double height) {
    auto chart = std::make_unique<DrawPieChart>([] { return std::make_unique<DrawRenderer>(); });
    chart->setViewSize({width, height});
    return chart;
}

double eased(double s) {
    return s < 0.5 ? 2 * s * s : 2 * s * (2 - s) - 1;
}

DrawRect between(const DrawRect& from, const DrawRect& to, double w) {
    return {from.x + (to.x - from.x) * w, from.y + (to.y - from.y) * w,
            from.width + (to.width - from.width) * w, from.height + (to.height - from.height) * w};
}

// The rectangle `a` of the way from `frame` to the empty one at its centre.
DrawRect shrunk(const DrawRect& frame, double a) {
    return between(frame, {frame.x + frame.width / 2, frame.y + frame.height / 2, 0, 0}, a);
}

// What a vertex of colour `c` holds: each component × 255, truncated.
bool holds(const DrawVertex& v, const DrawColor& c) {
    const auto byte = [](double x) { return static_cast<std::uint8_t>(x * 255); };
    return v.red == byte(c.red) && v.green == byte(c.green) && v.blue == byte(c.blue) &&
           v.alpha == byte(c.alpha);
}

struct Strip {
    DrawRect box; // the bounding box of its vertices
    const DrawVertex* first;
};

std::vector<Strip> stripsOf(const DrawRenderer& r, const DrawPrimitive& primitive) {
    std::vector<Strip> strips;
    for (std::size_t s = 0; s < primitive.stripCount(); ++s) {
        const auto begin = static_cast<std::size_t>(primitive.offset()[s]);
        const auto end = begin + static_cast<std::size_t>(primitive.length()[s]);
        double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
        for (std::size_t v = begin; v < end; ++v) {
            minX = std::min(minX, double{r.vertices()[v].x});
            minY = std::min(minY, double{r.vertices()[v].y});
            maxX = std::max(maxX, double{r.vertices()[v].x});
            maxY = std::max(maxY, double{r.vertices()[v].y});
        }
        strips.push_back({{minX, minY, maxX - minX, maxY - minY}, &r.vertices()[begin]});
    }
    return strips;
}

// A comparison's counterparts, as the graph hands them to a sequence's morph.
DrawGraph::Counterparts counterpartsOf(const TreeComparison& comparison) {
    return [&comparison](const File& file, bool merged) {
        return comparison.counterpartOfShape(file, merged);
    };
}

// A comparison's one order of two trees: the larger of an entry's two sizes.
DrawGraph::OrderKey largestOfBoth(const TreeComparison& comparison) {
    return [&comparison](const File& entry) {
        const File* other = comparison.counterpart(entry);
        return std::max(entry.size(), other != nullptr ? other->size() : 0);
    };
}

bool near(const DrawRect& a, const DrawRect& b) {
    constexpr double e = 1e-3; // vertices are floats
    return std::abs(a.x - b.x) < e && std::abs(a.y - b.y) < e && std::abs(a.width - b.width) < e &&
           std::abs(a.height - b.height) < e;
}

// The first strip of `primitive` covering exactly `box`, or none.
const Strip* stripAt(const DrawRenderer& r, const DrawPrimitive& primitive, const DrawRect& box) {
    static thread_local std::vector<Strip> strips;
    strips = stripsOf(r, primitive);
    for (const Strip& strip : strips)
        if (near(strip.box, box)) return &strip;
    return nullptr;
}

bool anyStripHolds(const DrawRenderer& r, const DrawColor& c) {
    for (const Strip& strip : stripsOf(r, r.triangleStrips()))
        if (holds(*strip.first, c)) return true;
    return false;
}

// A segment drawn as an independent line, in either direction.
bool hasSegment(const DrawRenderer& r, DrawPoint p, DrawPoint q) {
    const DrawPrimitive& lines = r.lines();
    const auto at = [&](const DrawVertex& v, DrawPoint point) {
        return std::abs(v.x - point.x) < 1e-3 && std::abs(v.y - point.y) < 1e-3;
    };
    for (std::size_t s = 0; s < lines.stripCount(); ++s) {
        const auto begin = static_cast<std::size_t>(lines.offset()[s]);
        for (std::size_t v = begin; v + 1 < begin + static_cast<std::size_t>(lines.length()[s]);
             v += 2) {
            const DrawVertex& a = r.vertices()[v];
            const DrawVertex& b = r.vertices()[v + 1];
            if ((at(a, p) && at(b, q)) || (at(a, q) && at(b, p))) return true;
        }
    }
    return false;
}

// Takes "gone" out of `tree` and puts "come" in: with a new measure, a rearrangement then has
// views that go, views that stay and views that come. The removed node is kept alive, so that
// its address cannot come back as another node's.
struct Replacement {
    FilePtr removed;
    File* come;
};
Replacement replaceGone(Directory& tree) {
    FilePtr removed = tree.remove(*tree.fileAtPath("gone")).file;
    File* come = tree.child(tree.add(file("come", 100)).index);
    return {std::move(removed), come};
}

class AppearanceScope {
public:
    explicit AppearanceScope(bool dark) : previous_(isDarkAppearance) { isDarkAppearance = dark; }
    ~AppearanceScope() { isDarkAppearance = previous_; }

private:
    bool previous_;
};

// MARK: The tree map

// A zoom shows the folder's picture at rest moved and stretched, its frame going linearly from
// where it lies in the other folder's picture to the whole view: w = 1 - p zooming in, w = p
// zooming out. The picture is made once: its frames lay nothing out anew.
TEST(TreeMapTransitionStates, ZoomFramesMoveLinearlyBetweenTheTwoPlaces) {
    auto map = makeMap(400, 200);
    auto tree = dir("", file("a", 600), dir("e", file("f", 300), file("g", 100)));
    File* e = tree->fileAtPath("e");
    map->display(tree.get());
    const DrawRect inRoot = map->view(*e)->frame;
    map->display(e);
    const DrawRect own = map->mainFileView()->frame;
    const std::vector<DrawVertex> atRest = map->renderer().vertices();
    ASSERT_FALSE(near(inRoot, own));
    for (const bool zoomIn : {true, false}) {
        std::uint64_t revision = 0;
        for (const double progress : {0.0, 0.25, 0.5, 0.75, 1.0}) {
            SCOPED_TRACE((zoomIn ? "in at " : "out at ") + std::to_string(progress));
            const DrawTransition t =
                zoomIn ? DrawTransition{DrawTransition::ZoomIn{tree.get()}, progress}
                       : DrawTransition{DrawTransition::ZoomOut{tree.get()}, progress};
            map->display(e, t);
            const DrawRenderer& r = map->renderer();
            if (progress == 0)
                revision = r.revision();
            else
                EXPECT_EQ(r.revision(), revision);
            EXPECT_EQ(r.vertices().size(), atRest.size());
            EXPECT_TRUE(near(map->mainFileView()->frame, own));
            const DrawRect expected = between(own, inRoot, zoomIn ? 1 - progress : progress);
            const DrawRect shown = r.placement.apply(own);
            EXPECT_NEAR(shown.x, expected.x, 1e-9);
            EXPECT_NEAR(shown.y, expected.y, 1e-9);
            EXPECT_NEAR(shown.width, expected.width, 1e-9);
            EXPECT_NEAR(shown.height, expected.height, 1e-9);
            // The pointer finds what the picture shows under it.
            File* f = tree->fileAtPath("e/f");
            const DrawRect fAtRest = map->view(*f)->frame;
            const DrawPoint fShown = r.placement.apply(
                DrawPoint{fAtRest.x + fAtRest.width / 2, fAtRest.y + fAtRest.height / 2});
            EXPECT_EQ(map->center(*f), fShown);
            EXPECT_EQ(map->fileAt(fShown, nullptr), f);
        }
        // At rest again the same picture is shown where it was drawn.
        const std::uint64_t zoomed = map->renderer().revision();
        map->display(e);
        EXPECT_TRUE(map->renderer().placement.isIdentity());
        EXPECT_EQ(map->renderer().revision(), zoomed);
    }
}

// Frames of a rearrangement: a view that goes shrinks to its centre until 0.3, fading with
// (p / 0.3)²; views in both pictures move, and change hue, by the eased (p - 0.15) / 0.7; a
// view that comes grows from its centre from 0.7, opaque. Outlines take their fill's alpha.
TEST(TreeMapTransitionStates, RearrangingFramesFadeMoveAndGrowAsGiven) {
    auto tree = dir("", file("a", 600), file("b", 300), file("gone", 100));
    auto map = makeMap(400, 200);
    map->display(tree.get());
    File* a = tree->fileAtPath("a");
    File* b = tree->fileAtPath("b");
    const DrawTreeMap::FileView oldA = *map->view(*a);
    const DrawTreeMap::FileView oldB = *map->view(*b);
    const DrawTreeMap::FileView gone = *map->view(*tree->fileAtPath("gone"));
    const auto [removed, come] = replaceGone(*tree);
    map->sizeMode = SizeMode::childCount;
    auto after = makeMap(400, 200);
    after->sizeMode = SizeMode::childCount;
    after->display(tree.get());
    const DrawTreeMap::FileView newA = *after->view(*a);
    const DrawTreeMap::FileView newB = *after->view(*b);
    const DrawTreeMap::FileView comes = *after->view(*come);
    ASSERT_NE(oldB.hue, newB.hue);

    for (const double p : {0.1, 0.15, 0.3, 0.5, 0.6, 0.8, 0.85}) {
        SCOPED_TRACE("at " + std::to_string(p));
        map->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, p});
        const DrawRenderer& r = map->renderer();
        if (p < 0.3) {
            const double fade = (p / 0.3) * (p / 0.3);
            const DrawRect frame = shrunk(gone.frame, fade);
            const Strip* fill = stripAt(r, r.triangleStrips(), frame);
            ASSERT_NE(fill, nullptr);
            EXPECT_TRUE(holds(*fill->first, palette::file(gone.hue, 1 - fade)));
            const Strip* outline = stripAt(r, r.lineStrips(), frame);
            ASSERT_NE(outline, nullptr);
            EXPECT_TRUE(holds(*outline->first, DrawColor::grey(0, 1 - fade)));
        } else {
            EXPECT_EQ(stripAt(r, r.triangleStrips(), shrunk(gone.frame, 1)), nullptr);
        }
        const double moved = eased(std::clamp((p - 0.15) / 0.7, 0.0, 1.0));
        for (const auto& [from, to] : {std::pair{oldA, newA}, std::pair{oldB, newB}}) {
            const Strip* fill =
                stripAt(r, r.triangleStrips(), between(from.frame, to.frame, moved));
            ASSERT_NE(fill, nullptr) << from.file->path();
            EXPECT_TRUE(
                holds(*fill->first, palette::file(from.hue + (to.hue - from.hue) * moved, 1.0)))
                << from.file->path();
        }
        const Strip* grown = nullptr;
        for (const Strip& strip : stripsOf(r, r.triangleStrips()))
            if (holds(*strip.first, palette::file(comes.hue, 1.0)) &&
                std::abs(strip.box.x + strip.box.width / 2 -
                         (comes.frame.x + comes.frame.width / 2)) < 1e-3)
                grown = &strip;
        if (p < 0.7) {
            EXPECT_EQ(grown, nullptr);
        } else {
            const DrawRect frame = shrunk(comes.frame, 1 - (p - 0.7) / 0.3);
            ASSERT_NE(stripAt(r, r.triangleStrips(), frame), nullptr);
        }
    }
}

// A rearrangement ended early (another setting changed) leaves the picture it was heading to,
// and the next one starts from that picture, not from the one before the first.
TEST(TreeMapTransitionStates, ARearrangementEndedEarlyIsWhereTheNextStarts) {
    auto tree = dir("", file("a", 600), file("b", 300), file("c", 100),
                    dir("e", file("f", 50), file("g", 30)));
    auto map = makeMap(400, 200);
    map->display(tree.get());
    map->layout = DrawTreeMap::Layout::stack;
    map->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, 0.5});
    map->display(tree.get()); // ended in its final state
    map->sizeMode = SizeMode::childCount;
    map->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, 0.0});

    auto direct = makeMap(400, 200);
    direct->layout = DrawTreeMap::Layout::stack;
    direct->display(tree.get());
    direct->sizeMode = SizeMode::childCount;
    direct->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, 0.0});
    const auto& ours = map->renderer().vertices();
    const auto& theirs = direct->renderer().vertices();
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i)
        ASSERT_TRUE(ours[i].x == theirs[i].x && ours[i].y == theirs[i].y) << "vertex " << i;
}

// A recolouring keeps the geometry and moves each hue linearly (not eased) from the old to the
// new one.
TEST(TreeMapTransitionStates, RecolouringMovesHuesLinearly) {
    const Date now = Date::fromUnixSeconds(std::chrono::duration_cast<std::chrono::seconds>(
                                               std::chrono::system_clock::now().time_since_epoch())
                                               .count());
    const auto dated = [&](const char* name, std::int64_t size, std::int64_t ageSeconds) {
        const Date when = Date::fromUnixSeconds(now.seconds - ageSeconds);
        return File::create(name, size, size, when, when);
    };
    auto tree =
        dir("", dated("a", 600, 86'400), dated("b", 300, 200'000'000), dated("c", 100, 30'000'000));
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        AppearanceScope appearance(dark);
        auto map = makeMap(400, 200);
        map->display(tree.get());
        std::vector<std::pair<File*, double>> oldHues;
        for (File* child : tree->contents())
            oldHues.emplace_back(child, map->view(*child)->hue);
        map->colorMode = ColorMode::modificationDate;
        // The first frame's picture is marked for recolouring in place, as its next frames are.
        std::uint64_t shapes = 0;
        for (const double p : {0.25, 0.5}) {
            map->display(tree.get(), DrawTransition{DrawTransition::UpdateColor{}, p});
            const DrawRenderer& r = map->renderer();
            EXPECT_TRUE(r.recolourable);
            if (p == 0.25)
                shapes = r.shapesRevision();
            else
                EXPECT_EQ(r.shapesRevision(), shapes);
            for (const auto& [child, oldHue] : oldHues) {
                const auto* view = map->view(*child);
                const Strip* fill = stripAt(r, r.triangleStrips(), view->frame);
                ASSERT_NE(fill, nullptr);
                EXPECT_TRUE(
                    holds(*fill->first, palette::file(oldHue + (view->hue - oldHue) * p, 1.0)))
                    << child->path() << " at " << p;
            }
        }
        map->display(tree.get());
        EXPECT_FALSE(map->renderer().recolourable);
    }
}

// The highlight is darker than the picture (0.7 × the brightness; 0.7 alpha for a folder, grey
// 0.49 or 0.28 for a remainder) and outlined in the border colour.
TEST(TreeMapTransitionStates, HighlightsAreTheirFillDarkened) {
    std::vector<FilePtr> files;
    files.push_back(file("big", 1'000'000));
    files.push_back(dir("folder", file("x", 500'000)));
    for (int i = 0; i < 40; ++i)
        files.push_back(file("small" + std::to_string(i), 10));
    auto tree = Directory::create("", kCreated, kModified, std::move(files));
    const MergedFile* merged = nullptr;
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        AppearanceScope appearance(dark);
        auto map = makeMap(200, 100);
        map->display(tree.get());
        merged = tree->existingMergedContents();
        ASSERT_NE(merged, nullptr);
        const double brightness = dark ? 0.75 : 1.0;
        struct Case {
            File* file;
            DrawColor fill;
        };
        File* big = tree->fileAtPath("big");
        File* folder = tree->fileAtPath("folder");
        const Case cases[] = {
            {big, DrawColor::fromHue(map->view(*big)->hue, 0.7, brightness * 0.7, 1.0)},
            {folder, DrawColor::fromHue(map->view(*folder)->hue, 0.7, brightness * 0.7, 0.7)},
            {const_cast<MergedFile*>(merged), DrawColor::grey(dark ? 0.4 * 0.7 : 0.7 * 0.7, 1.0)},
        };
        for (const Case& c : cases) {
            DrawRenderer highlight;
            map->drawActiveFile(*c.file, highlight);
            const Strip* fill =
                stripAt(highlight, highlight.triangleStrips(), map->view(*c.file)->frame);
            ASSERT_NE(fill, nullptr) << c.file->path();
            EXPECT_TRUE(holds(*fill->first, c.fill)) << c.file->path();
            ASSERT_EQ(highlight.lineStrips().stripCount(), 1u);
            EXPECT_TRUE(holds(
                highlight.vertices()[static_cast<std::size_t>(highlight.lineStrips().offset()[0])],
                DrawColor::grey(dark ? 1.0 : 0.0, 0.85)));
        }
    }
}

// The volume's free space is hatched under the root: Int(2m / 20) + 1 stripes of 20 points,
// grey 0.5 and 0.2 in turn at alpha 0.1, the first from (-w/2 - h, -h/2).
TEST(TreeMapTransitionStates, FreeSpaceIsHatchedInAlternatingGreys) {
    auto tree = dir("", file("a", 600), file("b", 400));
    auto map = makeMap(400, 200);
    map->totalSize = 2000;
    map->display(tree.get());
    const DrawRenderer& r = map->renderer();
    const auto strips = stripsOf(r, r.triangleStrips());
    constexpr std::size_t stripes = 2 * 400 / 20 + 1;
    ASSERT_GT(strips.size(), stripes);
    for (std::size_t i = 0; i < stripes; ++i)
        EXPECT_TRUE(holds(*strips[i].first, DrawColor::grey(i % 2 == 0 ? 0.5 : 0.2, 0.1))) << i;
    const DrawVertex* quad = strips[0].first;
    const DrawPoint corners[] = {{-400, -100}, {-380, -100}, {0, 300}, {20, 300}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(quad[k].x, corners[k].x) << k;
        EXPECT_FLOAT_EQ(quad[k].y, corners[k].y) << k;
    }
    // Without free space to show, no hatching.
    map->totalSize = 0;
    map->display(tree.get());
    EXPECT_FALSE(anyStripHolds(map->renderer(), DrawColor::grey(0.5, 0.1)));
}

// Rows are separated by a line along their side that faces the rest of the area, and the
// rectangles of a row by a line along their common side.
TEST(TreeMapTransitionStates, RowsAndNeighboursAreSeparatedByLines) {
    auto tree = dir("", file("a", 1), file("b", 1), file("c", 1), file("d", 1));
    auto map = makeMap(400, 400);
    map->display(tree.get());
    // The first row holds a and b against the left edge, a below b.
    const DrawRect& a = map->view(*tree->fileAtPath("a"))->frame;
    const DrawRect& b = map->view(*tree->fileAtPath("b"))->frame;
    EXPECT_TRUE(near(a, {-200, -200, 200, 200}));
    EXPECT_TRUE(near(b, {-200, 0, 200, 200}));
    const DrawRenderer& r = map->renderer();
    EXPECT_TRUE(hasSegment(r, {-200, 0}, {0, 0}));   // between a and b
    EXPECT_TRUE(hasSegment(r, {0, -200}, {0, 200})); // the row's side facing c and d
    EXPECT_TRUE(hasSegment(r, {0, 0}, {200, 0}));    // between c and d in the last row
}

// Date hues: the newest files red (0), the oldest blue (0.65), linearly between, dates in the
// future red and dates before the oldest blue.
TEST(TreeMapTransitionStates, DateHuesRunFromRedForNewToBlueForOld) {
    auto probe = makeMap(400, 200);
    const std::int64_t oldest = probe->minColorModeDate().seconds;
    const std::int64_t now = oldest + DrawGraph::kColorModeDateSpan;
    struct Case {
        const char* name;
        std::int64_t date;
        double hue;
    };
    const Case cases[] = {
        {"future", now + 100'000, 0.0},
        {"now", now, 0.0},
        {"middle", oldest + DrawGraph::kColorModeDateSpan / 2, 0.325},
        {"oldest", oldest, 0.65},
        {"older", oldest - 100'000, 0.65},
    };
    std::vector<FilePtr> files;
    for (const Case& c : cases)
        files.push_back(File::create(c.name, 100, 100, Date::fromUnixSeconds(c.date),
                                     Date::fromUnixSeconds(c.date)));
    auto tree = Directory::create("", kCreated, kModified, std::move(files));
    for (const ColorMode mode : {ColorMode::modificationDate, ColorMode::creationDate}) {
        probe->colorMode = mode;
        probe->display(tree.get());
        for (const Case& c : cases)
            EXPECT_NEAR(probe->view(*tree->fileAtPath(c.name))->hue, c.hue, 1e-6) << c.name;
    }
}

// For the next tree of a sequence the views are keyed by the files at the same paths there (a
// folder's remainder by the remainder of the folder at its path), so that half-way they lie
// between their two places; views without a counterpart go, and new ones come late.
TEST(TreeMapTransitionStates, SequenceViewsAreRekeyedByPath) {
    const auto makeTree = [](std::int64_t a, std::int64_t x, const char* only) {
        std::vector<FilePtr> inner;
        inner.push_back(file("x", x));
        for (int i = 0; i < 400; ++i)
            inner.push_back(file("small" + std::to_string(i), 1));
        std::vector<FilePtr> top;
        top.push_back(file("a", a));
        top.push_back(Directory::create("d", kCreated, kModified, std::move(inner)));
        top.push_back(file(only, 3000));
        return Directory::create("", kCreated, kModified, std::move(top));
    };
    auto first = makeTree(9000, 5000, "lost");
    auto second = makeTree(3000, 8000, "found");
    auto map = makeMap(200, 100);
    map->display(first.get());
    auto end = makeMap(200, 100);
    end->display(second.get());
    const auto frameIn = [](DrawTreeMap& m, Directory& tree, const char* path) {
        return m.view(*tree.fileAtPath(path))->frame;
    };
    const DrawRect lostFrame = frameIn(*map, *first, "lost");
    const MergedFile* firstRest = first->fileAtPath("d")->asDirectory()->existingMergedContents();
    const MergedFile* secondRest = second->fileAtPath("d")->asDirectory()->existingMergedContents();
    ASSERT_NE(firstRest, nullptr);
    ASSERT_NE(secondRest, nullptr);
    ASSERT_NE(map->view(*firstRest), nullptr);
    ASSERT_NE(end->view(*secondRest), nullptr);
    const DrawRect restFrom = map->view(*firstRest)->frame;
    const DrawRect restTo = end->view(*secondRest)->frame;
    struct Moved {
        const char* path;
        DrawRect from;
        DrawRect to;
    };
    const Moved moved[] = {
        {"a", frameIn(*map, *first, "a"), frameIn(*end, *second, "a")},
        {"d/x", frameIn(*map, *first, "d/x"), frameIn(*end, *second, "d/x")},
    };
    const TreeComparison comparison(*first, *second, SizeMode::fileSize);
    map->prepareSequenceTransition(counterpartsOf(comparison));
    map->display(second.get(), DrawTransition{DrawTransition::Rearrange{}, 0.5});
    const DrawRenderer& r = map->renderer();
    for (const Moved& m : moved) {
        ASSERT_FALSE(near(m.from, m.to)) << m.path;
        EXPECT_NE(stripAt(r, r.triangleStrips(), between(m.from, m.to, 0.5)), nullptr) << m.path;
    }
    const Strip* rest = stripAt(r, r.triangleStrips(), between(restFrom, restTo, 0.5));
    ASSERT_NE(rest, nullptr);
    EXPECT_TRUE(holds(*rest->first, palette::merged()));
    EXPECT_EQ(stripAt(r, r.triangleStrips(), lostFrame), nullptr);
    EXPECT_EQ(stripAt(r, r.triangleStrips(), frameIn(*end, *second, "found")), nullptr);
    // What went shrinks to its centre over the first 30 % of the way, as in the pie chart.
    map->display(second.get(), DrawTransition{DrawTransition::Rearrange{}, 0.15});
    EXPECT_NE(stripAt(r, r.triangleStrips(), shrunk(lostFrame, 0.25)), nullptr);
}

// In a comparison the tree map keeps one order of siblings over the sequence, the largest of
// their sizes first: two files that trade places by size keep theirs.
TEST(TreeMapTransitionStates, SiblingsKeepOneOrderOverASequence) {
    auto first = dir("", file("x", 100), file("y", 90));
    auto second = dir("", file("x", 80), file("y", 90));
    const TreeComparison comparison(*first, *second, SizeMode::fileSize);
    auto map = makeMap(200, 100);
    map->orderKey = largestOfBoth(comparison);
    map->display(first.get());
    const DrawRect before = map->view(*first->fileAtPath("x"))->frame;
    ++map->comparisonRevision;
    map->display(second.get());
    const DrawRect after = map->view(*second->fileAtPath("x"))->frame;
    EXPECT_DOUBLE_EQ(before.x, after.x);
    EXPECT_DOUBLE_EQ(before.y, after.y);
    // By their sizes alone, y would come first in the second tree.
    auto alone = makeMap(200, 100);
    alone->display(second.get());
    EXPECT_NE(alone->view(*second->fileAtPath("x"))->frame.x, after.x);

    // A file the smallest of its folder in one tree and the largest in the other comes first in
    // both; the thin row it makes does not merge away the larger files after it.
    const auto tree = [](std::int64_t grows) {
        std::vector<FilePtr> files;
        files.push_back(file("grows", grows));
        files.push_back(file("big", 30'000));
        for (int i = 0; i < 2000; ++i)
            files.push_back(file("s" + std::to_string(i), 10));
        return Directory::create("", kCreated, kModified, std::move(files));
    };
    auto small = tree(5);
    auto large = tree(100'000);
    const TreeComparison grown(*small, *large, SizeMode::fileSize);
    auto ordered = makeMap(60, 40);
    ordered->orderKey = largestOfBoth(grown);
    ordered->display(small.get());
    const DrawTreeMap::FileView* big = ordered->view(*small->fileAtPath("big"));
    ASSERT_NE(big, nullptr);
    EXPECT_GT(big->frame.width * big->frame.height, 60 * 40 * 0.5);
    ASSERT_NE(ordered->view(*small->fileAtPath("grows")), nullptr);
    const DrawRect frame = big->frame;
    EXPECT_EQ(ordered->fileAt({frame.x + frame.width / 2, frame.y + frame.height / 2}, nullptr),
              small->fileAtPath("big"));
}

// A folder renamed between two trees, nothing else changed, is the same folder: its files stay
// where they are all the way.
TEST(TreeMapTransitionStates, ARenamedFolderStaysWhereItWas) {
    const auto makeTree = [](const char* folder) {
        return dir("", file("a", 9000), dir(folder, file("x", 5000), file("y", 2000)));
    };
    auto first = makeTree("music");
    auto second = makeTree("audio");
    auto map = makeMap(200, 100);
    map->display(first.get());
    const DrawRect x = map->view(*first->fileAtPath("music/x"))->frame;
    const TreeComparison comparison(*first, *second, SizeMode::fileSize);
    map->prepareSequenceTransition(counterpartsOf(comparison));
    for (const double progress : {0.1, 0.5, 0.9}) {
        map->display(second.get(), DrawTransition{DrawTransition::Rearrange{}, progress});
        EXPECT_NE(stripAt(map->renderer(), map->renderer().triangleStrips(), x), nullptr)
            << progress;
    }
}

// MARK: The pie chart

// A zoom's centre sector: its radii move linearly with t, its angles with the eased 1 - (1 - t)²,
// where t = 1 - p zooming in and p zooming out; so it runs between the full disc and its place
// inside the other folder's picture.
TEST(PieChartTransitionStates, ZoomRadiiMoveLinearlyAndAnglesEaseOut) {
    auto chart = makeChart(400, 400);
    auto root = dir("", file("a", 3), dir("b", file("c", 1)));
    File* b = root->fileAtPath("b");
    chart->display(root.get());
    const PieSector inParent = chart->view(*b)->sector;
    const double inner = chart->radius().min;
    for (const bool zoomIn : {true, false}) {
        for (const double p : {0.0, 0.25, 0.5, 0.75, 1.0}) {
            SCOPED_TRACE((zoomIn ? "in at " : "out at ") + std::to_string(p));
            chart->display(b, zoomIn ? DrawTransition{DrawTransition::ZoomIn{root.get()}, p}
                                     : DrawTransition{DrawTransition::ZoomOut{root.get()}, p});
            const double t = zoomIn ? 1 - p : p;
            const double e = 1 - (1 - t) * (1 - t);
            const PieSector& s = chart->mainFileView()->sector;
            EXPECT_NEAR(s.angle.lower, e * inParent.angle.lower, 1e-12);
            EXPECT_NEAR(s.angle.upper, kFullCircle + e * (inParent.angle.upper - kFullCircle),
                        1e-12);
            EXPECT_NEAR(s.radius.lower, t * inParent.radius.lower, 1e-12);
            EXPECT_NEAR(s.radius.upper, inner + (inParent.radius.upper - inner) * t, 1e-12);
        }
    }
}

// The pie chart's rearranging frames: going sectors fade with (p / 0.3)², kept ones change hue
// by the eased (p - 0.15) / 0.7 at full alpha, coming ones fade in with (p - 0.7) / 0.3; a
// recolouring moves hues linearly.
TEST(PieChartTransitionStates, RearrangingAndRecolouringFramesTakeTheirAlphasAndHues) {
    auto tree = dir("", file("a", 600), file("b", 300), file("gone", 100));
    auto chart = makeChart(400, 400);
    chart->display(tree.get());
    File* b = tree->fileAtPath("b");
    const double oldB = chart->view(*b)->hue;
    const double goneHue = chart->view(*tree->fileAtPath("gone"))->hue;
    const auto [removed, come] = replaceGone(*tree);
    chart->sizeMode = SizeMode::childCount;
    auto after = makeChart(400, 400);
    after->sizeMode = SizeMode::childCount;
    after->display(tree.get());
    const double newB = after->view(*b)->hue;
    const double comeHue = after->view(*come)->hue;
    ASSERT_NE(oldB, newB);

    struct Case {
        double p;
        DrawColor present;
    };
    const double at06 = eased((0.6 - 0.15) / 0.7);
    const Case cases[] = {
        {0.15, palette::file(goneHue, 1 - 0.25)},
        {0.6, palette::file(oldB + (newB - oldB) * at06, 1.0)},
        {0.85, palette::file(comeHue, (0.85 - 0.7) / (1 - 0.7))},
    };
    for (const Case& c : cases) {
        chart->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, c.p});
        EXPECT_TRUE(anyStripHolds(chart->renderer(), c.present)) << "at " << c.p;
    }
    chart->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, 1.0});

    const double before = chart->view(*b)->hue;
    chart->colorMode = ColorMode::modificationDate;
    chart->display(tree.get(), DrawTransition{DrawTransition::UpdateColor{}, 0.25});
    const double target = chart->view(*b)->hue;
    ASSERT_NE(before, target);
    EXPECT_TRUE(
        anyStripHolds(chart->renderer(), palette::file(before + (target - before) * 0.25, 1.0)));
}

// In a comparison the pie chart keeps one order of siblings over the sequence too: two files
// that trade places by size keep theirs, and each is found where it is drawn.
TEST(PieChartTransitionStates, SiblingsKeepOneOrderOverASequence) {
    auto first = dir("", file("x", 100), file("y", 90));
    auto second = dir("", file("x", 80), file("y", 90));
    const TreeComparison comparison(*first, *second, SizeMode::fileSize);
    auto chart = makeChart(400, 400);
    chart->orderKey = largestOfBoth(comparison);
    chart->display(first.get());
    const PieSector before = chart->view(*first->fileAtPath("x"))->sector;
    chart->display(second.get());
    const PieSector after = chart->view(*second->fileAtPath("x"))->sector;
    EXPECT_DOUBLE_EQ(before.angle.upper, after.angle.upper);
    const double middle = after.angle.middle();
    const double radius = after.radius.middle();
    EXPECT_EQ(chart->fileAt({std::cos(middle) * radius, std::sin(middle) * radius}, nullptr),
              second->fileAtPath("x"));
    auto alone = makeChart(400, 400);
    alone->display(second.get());
    EXPECT_NE(alone->view(*second->fileAtPath("x"))->sector.angle.upper, after.angle.upper);
}

// The pie chart re-keys its views by path too: half-way to the next tree a sector present in
// both has the hue between its two.
TEST(PieChartTransitionStates, SequenceViewsAreRekeyedByPath) {
    auto first = dir("", file("a", 600), file("b", 300), file("lost", 100));
    auto second = dir("", file("a", 300), file("b", 600), file("found", 100));
    auto chart = makeChart(400, 400);
    chart->display(first.get());
    const double from = chart->view(*first->fileAtPath("b"))->hue;
    auto end = makeChart(400, 400);
    end->display(second.get());
    const double to = end->view(*second->fileAtPath("b"))->hue;
    ASSERT_NE(from, to);
    const TreeComparison comparison(*first, *second, SizeMode::fileSize);
    chart->prepareSequenceTransition(counterpartsOf(comparison));
    chart->display(second.get(), DrawTransition{DrawTransition::Rearrange{}, 0.5});
    EXPECT_TRUE(anyStripHolds(chart->renderer(), palette::file(from + (to - from) * 0.5, 1.0)));
}

// The pie chart's highlight: a ring sector at 0.7 × the brightness (a remainder grey 0.56 or
// 0.32), the centre disc the hue at alpha 0.3.
TEST(PieChartTransitionStates, HighlightsTakeTheirColours) {
    std::vector<FilePtr> files;
    files.push_back(file("big", 1'000'000));
    for (int i = 0; i < 400; ++i)
        files.push_back(file("small" + std::to_string(i), 1));
    auto tree = Directory::create("", kCreated, kModified, std::move(files));
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        AppearanceScope appearance(dark);
        auto chart = makeChart(400, 400);
        chart->display(tree.get());
        const MergedFile* merged = tree->existingMergedContents();
        ASSERT_NE(merged, nullptr);
        File* big = tree->fileAtPath("big");
        const double brightness = dark ? 0.75 : 1.0;
        struct Case {
            File* file;
            DrawColor fill;
        };
        const Case cases[] = {
            {big, DrawColor::fromHue(chart->view(*big)->hue, 0.7, brightness * 0.7, 1.0)},
            {const_cast<MergedFile*>(merged), DrawColor::grey(dark ? 0.4 * 0.8 : 0.7 * 0.8, 1.0)},
            {tree.get(), DrawColor::fromHue(chart->view(*tree)->hue, 0.7, brightness, 0.3)},
        };
        for (const Case& c : cases) {
            DrawRenderer highlight;
            chart->drawActiveFile(*c.file, highlight);
            ASSERT_GT(highlight.vertexCount(), 0u) << c.file->path();
            EXPECT_TRUE(holds(highlight.vertices()[0], c.fill)) << c.file->path();
        }
    }
}

} // namespace
} // namespace tessera
