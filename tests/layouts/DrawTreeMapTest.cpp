#include "layouts/DrawTreeMap.h"

#include "draw/Palette.h"
#include "model/MergedFile.h"
#include "platform/WorkerPool.h"
#include "render/AxisAlignedRaster.h"
#include "render/PngWriter.h"
#include "render/RasterCanvas.h"
#include "support/TreeBuilders.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <tuple>

namespace tessera {
namespace {

using namespace tessera::testing;
using Layout = DrawTreeMap::Layout;
using Edge = DrawTreeMap::Edge;

std::unique_ptr<DrawTreeMap> makeMap(double width, double height) {
    auto map = std::make_unique<DrawTreeMap>([] { return std::make_unique<DrawRenderer>(); });
    map->setViewSize({width, height});
    return map;
}

double area(const DrawRect& r) {
    return r.width * r.height;
}

// Every laid-out folder's children (and remainder) tile its inset area: areas in proportion to
// their measures, nothing outside, no overlap, no gap (the areas add up).
void expectTiling(DrawTreeMap& map, const Directory& directory, double ratio) {
    const auto* view = map.view(directory);
    ASSERT_NE(view, nullptr);
    if (map.contentRows(*view).empty()) return;
    DrawRect inset = view->frame;
    inset.x += inset.width * ratio;
    inset.y += inset.height * ratio;
    inset.width *= 1 - 2 * ratio;
    inset.height *= 1 - 2 * ratio;
    double covered = 0;
    std::vector<DrawRect> rects;
    for (File* child : const_cast<Directory&>(directory).displayedContents()) {
        const auto* childView = map.view(*child);
        ASSERT_NE(childView, nullptr) << child->path();
        const DrawRect& r = childView->frame;
        EXPECT_GE(r.x, inset.x - 1e-6);
        EXPECT_GE(r.y, inset.y - 1e-6);
        EXPECT_LE(r.maxX(), inset.maxX() + 1e-6);
        EXPECT_LE(r.maxY(), inset.maxY() + 1e-6);
        const double share = static_cast<double>(child->size(SizeMode::fileSize)) /
                             static_cast<double>(directory.size(SizeMode::fileSize));
        EXPECT_NEAR(area(r), share * area(inset), 1e-6 * area(inset)) << child->path();
        for (const DrawRect& other : rects) {
            const double w = std::min(r.maxX(), other.maxX()) - std::max(r.x, other.x);
            const double h = std::min(r.maxY(), other.maxY()) - std::max(r.y, other.y);
            EXPECT_FALSE(w > 1e-6 && h > 1e-6) << "overlap at " << child->path();
        }
        rects.push_back(r);
        covered += area(r);
        if (const Directory* sub = child->asDirectory(); sub != nullptr && sub->count() > 0)
            expectTiling(map, *sub, ratio);
    }
    EXPECT_NEAR(covered, area(inset), 1e-6 * area(inset));
}

DirectoryPtr sampleTree() {
    return dir("", file("a", 500), file("b", 300), file("c", 120), file("d", 80),
               dir("e", file("f", 60), file("g", 30), file("h", 10)), file("i", 40), file("j", 25),
               file("k", 15));
}

TEST(DrawTreeMapTest, EveryLayoutTilesEachFolderInProportion) {
    for (Layout layout : allTreeMapLayouts) {
        for (double ratio : {0.0, 0.05}) {
            for (bool bottom : {false, true}) {
                SCOPED_TRACE(std::string(rawValue(layout)) + " border " + std::to_string(ratio) +
                             (bottom ? " bottom" : ""));
                auto map = makeMap(900, 500);
                map->layout = layout;
                map->directoryBorderRatio = ratio;
                map->beginLayoutOnBottomEdge = bottom;
                auto tree = sampleTree();
                map->display(tree.get());
                expectTiling(*map, *tree, ratio);
            }
        }
    }
}

TEST(DrawTreeMapTest, EachLayoutPlacesItsRowsByItsRule) {
    auto rowsOf = [](Layout layout, double width, double height, bool bottom = false) {
        auto map = makeMap(width, height);
        map->layout = layout;
        map->beginLayoutOnBottomEdge = bottom;
        auto tree = sampleTree();
        map->display(tree.get());
        std::vector<DrawTreeMap::Direction> directions;
        for (const auto& row : map->contentRows(*map->mainFileView()))
            directions.push_back(row.direction);
        return directions;
    };
    // A wide area starts with a column at its left, bottom to top; a tall one with a row at the
    // bottom, left to right.
    EXPECT_EQ(rowsOf(Layout::snake, 900, 500).front(), (DrawTreeMap::Direction{Edge::left, true}));
    EXPECT_EQ(rowsOf(Layout::snake, 500, 900).front(),
              (DrawTreeMap::Direction{Edge::bottom, false}));
    EXPECT_EQ(rowsOf(Layout::snake, 900, 500, true).front(),
              (DrawTreeMap::Direction{Edge::bottom, false}));
    // Snake: one edge, alternating sense. Spiral: around the area, one sense. Stack: only the
    // bottom and left edges.
    const auto snake = rowsOf(Layout::snake, 900, 500);
    ASSERT_GE(snake.size(), 3u);
    for (std::size_t i = 1; i < snake.size(); ++i) {
        EXPECT_EQ(snake[i].edge, snake[0].edge);
        EXPECT_NE(snake[i].clockwise, snake[i - 1].clockwise);
    }
    const auto spiral = rowsOf(Layout::spiral, 900, 500);
    ASSERT_GE(spiral.size(), 3u);
    EXPECT_EQ(spiral[1].edge, Edge::top);
    EXPECT_EQ(spiral[2].edge, Edge::right);
    for (const auto& d : spiral)
        EXPECT_TRUE(d.clockwise);
    for (const auto& d : rowsOf(Layout::stack, 900, 500))
        EXPECT_TRUE(d.edge == Edge::left || d.edge == Edge::bottom);
}

TEST(DrawTreeMapTest, ThinRowsMergeButALastChildIsDrawnHoweverThin) {
    auto map = makeMap(200, 100);
    std::vector<FilePtr> files;
    files.push_back(file("big", 1'000'000));
    for (int i = 0; i < 40; ++i)
        files.push_back(file("small" + std::to_string(i), 10));
    auto tree = Directory::create("", kCreated, kModified, std::move(files));
    map->display(tree.get());
    const MergedFile* merged = tree->existingMergedContents();
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->mergedContentCount(), 40);
    EXPECT_EQ(merged->mergedDisplaySize(), 400);
    ASSERT_NE(map->view(*merged), nullptr);
    EXPECT_EQ(map->view(*tree->child(1)), nullptr);

    auto pair = dir("", file("big", 1'000'000), file("tiny", 1));
    map->display(pair.get());
    EXPECT_NE(map->view(*pair->fileAtPath("tiny")), nullptr);
    EXPECT_EQ(pair->existingMergedContents()->mergedContentCount(), 0);

    // A single child fills the whole area; children of a folder of measure 0 get no length.
    auto single = dir("", dir("only", file("x", 5)));
    map->display(single.get());
    const auto* only = map->view(*single->child(0));
    EXPECT_DOUBLE_EQ(only->frame.width, 200);
    EXPECT_DOUBLE_EQ(only->frame.height, 100);
    auto empty = dir("", file("a", 0), file("b", 0), file("c", 0));
    map->mergeThreshold = 0.5;
    map->display(empty.get());
    for (File* child : empty->contents())
        if (const auto* v = map->view(*child)) {
            EXPECT_EQ(area(v->frame), 0);
        }
}

TEST(DrawTreeMapTest, FreeSpaceLeavesTheRootItsShareOfTheView) {
    auto map = makeMap(1000, 500);
    map->totalSize = 1000;
    auto tree = dir("", file("a", 600));
    map->display(tree.get());
    const DrawRect& root = map->mainFileView()->frame;
    EXPECT_DOUBLE_EQ(root.x, -500);
    EXPECT_DOUBLE_EQ(root.width, 600);
    EXPECT_DOUBLE_EQ(root.height, 500);
}

TEST(DrawTreeMapTest, HitTestsZoomsAndTargets) {
    auto map = makeMap(400, 200);
    map->directoryBorderRatio = 0.1;
    auto tree = dir("", file("a", 600), dir("e", file("f", 300), file("g", 100)));
    map->display(tree.get());
    File* e = tree->fileAtPath("e");
    File* f = tree->fileAtPath("e/f");
    const auto* viewE = map->view(*e);
    ASSERT_NE(viewE, nullptr);
    // On e's border (outside its inset area) is e; inside f is f.
    const DrawPoint border{viewE->frame.x + viewE->frame.width * 0.05,
                           viewE->frame.y + viewE->frame.height / 2};
    EXPECT_EQ(map->fileAt(border, nullptr), e);
    EXPECT_EQ(map->fileAt(*map->center(*f), nullptr), f);
    EXPECT_EQ(map->fileAt(border, e), e); // the previous file keeps the pointer on its border
    EXPECT_EQ(map->fileAt({1000, 1000}, nullptr), nullptr);

    EXPECT_EQ(map->zoomTarget(*e), e);
    EXPECT_EQ(map->zoomTarget(*f), e); // a leaf: the child of the shown folder on its way
    EXPECT_EQ(map->zoomTarget(*tree->fileAtPath("a")), tree->fileAtPath("a"));

    // A zoom in starts where e lay in the root's picture and ends filling the view.
    const DrawRect inRoot = viewE->frame;
    map->display(e, DrawTransition{DrawTransition::ZoomIn{tree.get()}, 0.0});
    const DrawRect shownAtStart = map->renderer().placement.apply(map->mainFileView()->frame);
    EXPECT_NEAR(shownAtStart.x, inRoot.x, 1e-9);
    EXPECT_NEAR(shownAtStart.width, inRoot.width, 1e-9);
    map->display(e, DrawTransition{DrawTransition::ZoomIn{tree.get()}, 1.0});
    const DrawRect shownAtEnd = map->renderer().placement.apply(map->mainFileView()->frame);
    EXPECT_DOUBLE_EQ(shownAtEnd.width, 400);
    EXPECT_DOUBLE_EQ(shownAtEnd.height, 200);

    // Kept proportions: the zoomed folder is centred with bands beside it.
    map->keepAspectRatioDuringZoom = true;
    map->display(tree.get());
    const DrawRect before = map->view(*e)->frame;
    map->display(e);
    const DrawRect zoomed = map->mainFileView()->frame;
    EXPECT_NEAR(zoomed.width / zoomed.height, before.width / before.height, 1e-9);
    EXPECT_NEAR(zoomed.x + zoomed.width / 2, 0, 1e-9);
}

// Folders of files with sizes spread over four orders of magnitude, many equal, some nested.
DirectoryPtr largeTree() {
    std::mt19937 random(7);
    std::vector<FilePtr> folders;
    for (int f = 0; f < 300; ++f) {
        std::vector<FilePtr> files;
        for (int i = 0; i < 150; ++i) {
            const auto size = static_cast<std::int64_t>(random() % 4 == 0 ? 100 : random() % 10000);
            files.push_back(file("f" + std::to_string(i), size));
        }
        if (f % 10 == 0)
            files.push_back(dir("sub", file("x", 50'000), dir("deeper", file("y", 20'000))));
        folders.push_back(
            Directory::create("d" + std::to_string(f), kCreated, kModified, std::move(files)));
    }
    return Directory::create("", kCreated, kModified, std::move(folders));
}

void expectSameStrips(const DrawPrimitive& a, const DrawPrimitive& b) {
    EXPECT_EQ(a.offset(), b.offset());
    EXPECT_EQ(a.length(), b.length());
}

void expectSameShapes(const DrawRenderer& a, const DrawRenderer& b) {
    ASSERT_EQ(a.vertexCount(), b.vertexCount());
    for (std::size_t i = 0; i < a.vertexCount(); ++i) {
        const DrawVertex& va = a.vertices()[i];
        const DrawVertex& vb = b.vertices()[i];
        ASSERT_TRUE(va.x == vb.x && va.y == vb.y && va.red == vb.red && va.green == vb.green &&
                    va.blue == vb.blue && va.alpha == vb.alpha)
            << "vertex " << i;
    }
    expectSameStrips(a.triangleStrips(), b.triangleStrips());
    expectSameStrips(a.lineStrips(), b.lineStrips());
    expectSameStrips(a.lines(), b.lines());
}

// The same shapes, whatever their order, and so the same pixels: siblings do not overlap, a
// folder's fill goes down before its children's, and every line has the border's colour.
void expectSamePicture(const DrawRenderer& a, const DrawRenderer& b, double width, double height) {
    using Strip = std::vector<std::tuple<float, float, std::uint32_t>>;
    const auto strips = [](const DrawRenderer& r, const DrawPrimitive& primitive) {
        std::vector<Strip> all;
        for (std::size_t s = 0; s < primitive.stripCount(); ++s) {
            Strip strip;
            const auto first = static_cast<std::size_t>(primitive.offset()[s]);
            for (std::size_t v = first; v < first + static_cast<std::size_t>(primitive.length()[s]);
                 ++v) {
                const DrawVertex& x = r.vertices()[v];
                strip.emplace_back(x.x, x.y,
                                   std::uint32_t{x.red} << 24 | std::uint32_t{x.green} << 16 |
                                       std::uint32_t{x.blue} << 8 | x.alpha);
            }
            all.push_back(std::move(strip));
        }
        std::ranges::sort(all);
        return all;
    };
    EXPECT_TRUE(strips(a, a.triangleStrips()) == strips(b, b.triangleStrips()));
    EXPECT_TRUE(strips(a, a.lineStrips()) == strips(b, b.lineStrips()));
    EXPECT_TRUE(strips(a, a.lines()) == strips(b, b.lines()));
    LabelBitmap imageA;
    LabelBitmap imageB;
    ASSERT_TRUE(rasteriseAxisAligned(a, width, height, 1, imageA));
    ASSERT_TRUE(rasteriseAxisAligned(b, width, height, 1, imageB));
    EXPECT_TRUE(imageA.pixels == imageB.pixels);
}

void expectSameView(DrawTreeMap& a, DrawTreeMap& b, const File& file) {
    const auto* va = a.view(file);
    const auto* vb = b.view(file);
    ASSERT_EQ(va == nullptr, vb == nullptr) << file.path();
    if (va == nullptr) return;
    EXPECT_EQ(va->frame.x, vb->frame.x);
    EXPECT_EQ(va->frame.y, vb->frame.y);
    EXPECT_EQ(va->frame.width, vb->frame.width);
    EXPECT_EQ(va->frame.height, vb->frame.height);
    EXPECT_EQ(va->range.lower, vb->range.lower);
    EXPECT_EQ(va->range.upper, vb->range.upper);
    EXPECT_EQ(va->hue, vb->hue);
    const auto rowsA = a.contentRows(*va);
    const auto rowsB = b.contentRows(*vb);
    ASSERT_EQ(rowsA.size(), rowsB.size()) << file.path();
    for (std::size_t i = 0; i < rowsA.size(); ++i) {
        EXPECT_EQ(rowsA[i].direction, rowsB[i].direction);
        EXPECT_EQ(rowsA[i].frame.x, rowsB[i].frame.x);
        EXPECT_EQ(rowsA[i].frame.width, rowsB[i].frame.width);
        const auto cutsA = a.cuts(rowsA[i]);
        const auto cutsB = b.cuts(rowsB[i]);
        EXPECT_TRUE(std::equal(cutsA.begin(), cutsA.end(), cutsB.begin(), cutsB.end()));
    }
}

// Writes a picture of `r` under $TESSERA_TEST_PICTURES/name.png when that is set, to look at.
void savePicture(const DrawRenderer& r, int width, int height, const std::string& name) {
    const char* folder = std::getenv("TESSERA_TEST_PICTURES");
    if (folder == nullptr) return;
    RasterCanvas canvas(width, height, 2);
    canvas.clear(palette::backgroundGrey());
    canvas.draw(r);
    ASSERT_TRUE(writePng(std::string(folder) + "/" + name + ".png", width, height, canvas.image()));
}

struct Box {
    double minX, minY, maxX, maxY;
    double shortSide() const { return std::min(maxX - minX, maxY - minY); }
};

// The bounding boxes of the filled shapes, in the order drawn.
std::vector<Box> filledBoxes(const DrawRenderer& r) {
    std::vector<Box> boxes;
    const DrawPrimitive& strips = r.triangleStrips();
    for (std::size_t s = 0; s < strips.stripCount(); ++s) {
        Box box{1e9, 1e9, -1e9, -1e9};
        const auto first = static_cast<std::size_t>(strips.offset()[s]);
        for (std::size_t v = first; v < first + static_cast<std::size_t>(strips.length()[s]); ++v) {
            const DrawVertex& vertex = r.vertices()[v];
            box = {std::min(box.minX, double{vertex.x}), std::min(box.minY, double{vertex.y}),
                   std::max(box.maxX, double{vertex.x}), std::max(box.maxY, double{vertex.y})};
        }
        boxes.push_back(box);
    }
    return boxes;
}

// A rearrangement's frames draw only what the picture at one end or the other shows: folders
// covered by their children are not filled (their colour would flood the gaps that moving
// rectangles leave), and nothing thinner than the merge threshold is drawn. With a border at
// the end, a folder's border ring grows in around its children.
TEST(DrawTreeMapTest, RearrangingFramesDrawOnlyWhatEitherEndShows) {
    auto tree = largeTree();
    for (double border : {0.0, 0.05}) {
        SCOPED_TRACE("border at the end " + std::to_string(border));
        auto map = makeMap(800, 500);
        map->display(tree.get());
        map->sizeMode = SizeMode::childCount;
        map->layout = Layout::stack;
        map->directoryBorderRatio = border;
        for (double progress : {0.05, 0.2, 0.5, 0.8, 0.95}) {
            SCOPED_TRACE("at " + std::to_string(progress));
            map->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, progress});
            savePicture(map->renderer(), 800, 500,
                        "treemap-rearranging-border" + std::to_string(border > 0) + "-at" +
                            std::to_string(static_cast<int>(progress * 100)));
            const auto boxes = filledBoxes(map->renderer());
            ASSERT_FALSE(boxes.empty());
            std::size_t wholeView = 0;
            std::size_t wholeWidth = 0; // with a border: the root's along the top and the bottom
            for (const Box& box : boxes) {
                EXPECT_GE(box.shortSide(), map->mergeThreshold - 1e-3);
                if (box.maxX - box.minX > 799 && box.maxY - box.minY > 499) ++wholeView;
                if (box.maxX - box.minX > 799) ++wholeWidth;
            }
            EXPECT_EQ(wholeView, 0u);
            if (border > 0 && progress >= 0.5) {
                EXPECT_EQ(wholeWidth, 2u);
            }
        }
        map->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, 1.0});
    }
}

// A display from the same tree, file and settings keeps the picture it made last; any change
// to what it was made from makes it again, as a new map would make it.
TEST(DrawTreeMapTest, APictureIsKeptUntilWhatItWasMadeFromChanges) {
    auto tree = largeTree();
    auto map = makeMap(800, 500);
    map->display(tree.get());
    const std::uint64_t made = map->renderer().revision();
    map->display(tree.get());
    EXPECT_EQ(map->renderer().revision(), made);

    Directory* folder = tree->child(3)->asDirectory();
    ASSERT_NE(folder, nullptr);
    const File* added = folder->child(folder->add(file("new", 900'000)).index);
    map->display(tree.get());
    EXPECT_NE(map->renderer().revision(), made);
    EXPECT_NE(map->view(*added), nullptr);
    FilePtr removed;
    const bool dark = isDarkAppearance;
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"a file removed", [&] { removed = folder->remove(*folder->child(0)).file; }},
        {"new dates", [&] { folder->child(0)->setDates(kModified, kModified); }},
        {"size mode", [&] { map->sizeMode = SizeMode::childCount; }},
        {"colour mode", [&] { map->colorMode = ColorMode::modificationDate; }},
        {"view size",
         [&] {
             map->setViewSize({900, 500});
         }},
        {"layout", [&] { map->layout = Layout::stack; }},
        {"border", [&] { map->directoryBorderRatio = 0.05; }},
        {"merge threshold", [&] { map->mergeThreshold = 4; }},
        {"free space", [&] { map->totalSize = tree->size(SizeMode::childCount) * 2; }},
        {"bottom edge", [&] { map->beginLayoutOnBottomEdge = true; }},
        {"appearance", [&] { isDarkAppearance = !dark; }},
        {"renderer emptied", [&] { map->renderer().reset(); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        const std::uint64_t before = map->renderer().revision();
        change();
        map->display(tree.get());
        EXPECT_NE(map->renderer().revision(), before);
        EXPECT_GT(map->renderer().vertexCount(), 0u);
    }

    auto fresh = makeMap(900, 500);
    fresh->sizeMode = map->sizeMode;
    fresh->colorMode = map->colorMode;
    fresh->layout = map->layout;
    fresh->directoryBorderRatio = map->directoryBorderRatio;
    fresh->mergeThreshold = map->mergeThreshold;
    fresh->totalSize = map->totalSize;
    fresh->beginLayoutOnBottomEdge = map->beginLayoutOnBottomEdge;
    fresh->display(tree.get());
    isDarkAppearance = dark;
    expectSameShapes(map->renderer(), fresh->renderer());
}

// A rearrangement or recolouring lays its end state out once: its later frames are the frames
// a map drawing only that frame would draw, and a change to the tree on the way lays the end
// state out again.
TEST(DrawTreeMapTest, TransitionFramesReuseTheirEndStateUntilTheTreeChanges) {
    auto tree = largeTree();
    using Kind = DrawTransition::Type;
    const std::pair<const char*, Kind> kinds[] = {{"rearrange", DrawTransition::Rearrange{}},
                                                  {"recolour", DrawTransition::UpdateColor{}}};
    for (const auto& [what, kind] : kinds) {
        SCOPED_TRACE(what);
        std::vector<std::unique_ptr<DrawTreeMap>> maps;
        for (int i = 0; i < 3; ++i) {
            maps.push_back(makeMap(800, 500));
            maps.back()->display(tree.get());
            if (std::holds_alternative<DrawTransition::Rearrange>(kind))
                maps.back()->layout = Layout::stack;
            else
                maps.back()->colorMode = ColorMode::creationDate;
        }
        DrawTreeMap& stepping = *maps[0];
        stepping.display(tree.get(), DrawTransition{kind, 0.2});
        stepping.prepareTransitionEnd(); // as an animated transition does
        stepping.display(tree.get(), DrawTransition{kind, 0.5});
        maps[1]->display(tree.get(), DrawTransition{kind, 0.5});
        expectSameShapes(stepping.renderer(), maps[1]->renderer());

        Directory* folder = tree->child(5)->asDirectory();
        File* late = folder->child(folder->add(file("late", 2'000'000)).index);
        stepping.display(tree.get(), DrawTransition{kind, 0.6});
        maps[2]->display(tree.get(), DrawTransition{kind, 0.6});
        expectSameShapes(stepping.renderer(), maps[2]->renderer());
        folder->remove(*late);
        // The last frame is the end picture itself.
        stepping.display(tree.get(), DrawTransition{kind, 1.0});
        auto end = makeMap(800, 500);
        end->layout = stepping.layout;
        end->colorMode = stepping.colorMode;
        end->display(tree.get());
        expectSamePicture(stepping.renderer(), end->renderer(), 800, 500);
    }
}

// The last frame of a rearrangement or recolouring, drawn from the views its first frame laid
// out (or made beside the first frame, as an animated transition asks), is the picture a map
// showing the end state alone draws: with and without borders and lines, in a view large enough
// to be shared out among threads.
TEST(DrawTreeMapTest, TheLastFrameOfATransitionIsThePictureOfItsEndState) {
    auto tree = largeTree();
    using Kind = DrawTransition::Type;
    const std::pair<const char*, Kind> kinds[] = {{"rearrange", DrawTransition::Rearrange{}},
                                                  {"recolour", DrawTransition::UpdateColor{}}};
    for (const auto& [what, kind] : kinds)
        for (const double border : {0.0, 0.05})
            for (const bool strokes : {true, false}) {
                const bool endMadeAhead = strokes == (border > 0);
                SCOPED_TRACE(std::string(what) + ", border " + std::to_string(border) +
                             (strokes ? ", lines" : ", no lines") +
                             (endMadeAhead ? ", end made ahead" : ""));
                const auto endState = [&](DrawTreeMap& map) {
                    map.directoryBorderRatio = border;
                    map.strokes = strokes;
                    if (std::holds_alternative<DrawTransition::Rearrange>(kind))
                        map.sizeMode = SizeMode::childCount;
                    else
                        map.colorMode = ColorMode::creationDate;
                };
                auto map = makeMap(1600, 1000);
                map->display(tree.get());
                endState(*map);
                for (const double progress : {0.1, 0.6, 1.0}) {
                    map->display(tree.get(), DrawTransition{kind, progress});
                    if (progress == 0.1 && endMadeAhead) map->prepareTransitionEnd();
                    savePicture(map->renderer(), 1600, 1000,
                                std::string("treemap-") + what + "-border" +
                                    std::to_string(border > 0) + "-lines" +
                                    std::to_string(strokes) + "-at" +
                                    std::to_string(static_cast<int>(progress * 100)));
                }
                auto end = makeMap(1600, 1000);
                endState(*end);
                end->display(tree.get());
                ASSERT_GT(end->viewCount(), 30'000u);
                expectSamePicture(map->renderer(), end->renderer(), 1600, 1000);
                // Shown again unchanged, and then made anew when something changes.
                const std::uint64_t shown = map->renderer().revision();
                map->display(tree.get());
                EXPECT_EQ(map->renderer().revision(), shown);
                map->layout = Layout::stack;
                end->layout = Layout::stack;
                map->display(tree.get());
                end->display(tree.get());
                expectSameShapes(map->renderer(), end->renderer());
            }
}

// A picture large enough to be shared out among threads comes out exactly as one thread draws
// it: the same shapes in the same order, the same views, rows and hit tests.
TEST(DrawTreeMapTest, ALargePictureSharedAmongThreadsIsTheOneThreadDrawsAlone) {
    auto tree = largeTree();
    WorkerPool alone(0);
    WorkerPool several(3);
    for (double ratio : {0.0, 0.05}) {
        SCOPED_TRACE("border " + std::to_string(ratio));
        auto one = makeMap(1600, 1000);
        auto shared = makeMap(1600, 1000);
        one->workers = &alone;
        shared->workers = &several;
        for (DrawTreeMap* map : {one.get(), shared.get()}) {
            map->directoryBorderRatio = ratio;
            map->layout = Layout::snake;
            map->display(tree.get());
        }
        ASSERT_GT(one->viewCount(), 30'000u); // enough to be shared out
        ASSERT_EQ(one->viewCount(), shared->viewCount());

        expectSameShapes(one->renderer(), shared->renderer());

        std::vector<const File*> pending{tree.get()};
        while (!pending.empty()) {
            const File* node = pending.back();
            pending.pop_back();
            expectSameView(*one, *shared, *node);
            if (const Directory* directory = node->asDirectory()) {
                if (const MergedFile* merged = directory->existingMergedContents())
                    expectSameView(*one, *shared, *merged);
                for (const File* child : directory->contents())
                    pending.push_back(child);
            }
        }
        std::mt19937 random(3);
        for (int i = 0; i < 200; ++i) {
            const DrawPoint p{static_cast<double>(random() % 1600) - 800,
                              static_cast<double>(random() % 1000) - 500};
            EXPECT_EQ(one->fileAt(p, nullptr), shared->fileAt(p, nullptr));
        }

        // The frames of a rearrangement (another layout) and of a recolouring (in the same
        // colour mode: the date modes' hues depend on the moment).
        for (double progress : {0.2, 0.8}) {
            for (DrawTreeMap* map : {one.get(), shared.get()}) {
                map->layout = Layout::spiral;
                map->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, progress});
            }
            expectSameShapes(one->renderer(), shared->renderer());
        }
        for (DrawTreeMap* map : {one.get(), shared.get()}) {
            map->display(tree.get(), DrawTransition{DrawTransition::Rearrange{}, 1.0});
            map->display(tree.get(), DrawTransition{DrawTransition::UpdateColor{}, 0.5});
        }
        expectSameShapes(one->renderer(), shared->renderer());
    }
}

} // namespace
} // namespace tessera

namespace tessera {
namespace {

using namespace tessera::testing;

// A chain of folders with one child each shows as its deepest file: the lines drawn do not grow
// with the chain's depth, since every folder's far side is its parent's line already.
TEST(DrawTreeMapChainTest, AChainOfSingleFoldersDrawsItsLinesOnce) {
    FilePtr chain = file("leaf", 1000);
    for (int level = 0; level < 20'000; ++level) {
        std::vector<FilePtr> contents;
        contents.push_back(std::move(chain));
        chain = FilePtr(Directory::create("d", kCreated, kModified, std::move(contents)).release());
    }
    auto map = makeMap(400, 300);
    map->display(chain.get());
    const DrawRenderer& r = map->renderer();
    EXPECT_LT(r.lines().stripCount() + r.lineStrips().stripCount(), 10u);
    // Two files side by side still get the line between them.
    auto pair = dir("", file("a", 600), file("b", 400));
    map->display(pair.get());
    EXPECT_GE(map->renderer().lines().stripCount() + map->renderer().lineStrips().stripCount(), 2u);

    // With a border each level is smaller than its parent: below the merge threshold the
    // descent stops, and the last folder drawn is filled in its own colour and is what the
    // pointer finds there.
    map->directoryBorderRatio = 0.1;
    map->display(chain.get());
    EXPECT_LT(map->viewCount(), 40u);
    File* found = map->fileAt({0, 0}, nullptr);
    ASSERT_NE(found, nullptr);
    ASSERT_TRUE(found->isDirectory());
    const auto* deepest = map->view(*found);
    ASSERT_NE(deepest, nullptr);
    EXPECT_FALSE(deepest->opened);
    EXPECT_LE(std::min(deepest->frame.width, deepest->frame.height) * 0.8, map->mergeThreshold);
    EXPECT_EQ(map->view(*found->asDirectory()->child(0)), nullptr);
    EXPECT_EQ(map->zoomTarget(*found), found);
}

} // namespace
} // namespace tessera
