// What the pictures of both layouts carry besides their shapes, through a headless view: the
// files' names (inside their file's shape, never on slivers, never over each other or the centre
// label; drawn by the CPU back end; following zooms, live changes and the View menu's switch),
// a search's matches lit over the dimmed rest, the tree map's cushions, and the colour mode by
// file type with its legend.
#include "controller/FileController.h"
#include "draw/Palette.h"
#include "favorites/Favorite.h"
#include "graph/Graph.h"
#include "graph/GraphLegend.h"
#include "graph/HeadlessGraphView.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/FilePredicate.h"
#include "model/FileTypes.h"
#include "platform/MainQueue.h"
#include "render/QtLabelTypesetter.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

namespace tessera {
namespace {

using namespace tessera::testing;

bool overlap(const DrawRect& a, const DrawRect& b) {
    return a.x < b.maxX() && b.x < a.maxX() && a.y < b.maxY() && b.y < a.maxY();
}

bool inside(const DrawRect& outer, const DrawRect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.maxX() <= outer.maxX() &&
           inner.maxY() <= outer.maxY();
}

bool insideSector(const PieSector& sector, const DrawRect& box) {
    for (const double x : {box.x, box.maxX()})
        for (const double y : {box.y, box.maxY()}) {
            double angle = std::atan2(y, x);
            while (angle < sector.angle.lower)
                angle += kFullCircle;
            if (!sector.contains(angle, std::hypot(x, y))) return false;
        }
    return true;
}

// A folder of 300 slivers beside a few files large enough to be named.
DirectoryPtr treeWithSlivers() {
    std::vector<FilePtr> slivers;
    for (int i = 0; i < 300; ++i)
        slivers.push_back(file("sliver" + std::to_string(i), 40));
    return dir("", file("holiday-video.mkv", 600'000),
               dir("photos", file("beach.jpg", 150'000), file("city.jpg", 100'000),
                   Directory::create("crumbs", kCreated, kModified, std::move(slivers))),
               file("notes.txt", 80'000));
}

// Typesets as the app does, counting the sheets of names it makes.
class CountingTypesetter final : public LabelTypesetter {
public:
    DrawSize measure(const LabelText& text, DrawSize maxSize) const override {
        return qt.measure(text, maxSize);
    }
    LabelBitmap render(const GraphLabel& label, double scale) const override {
        return qt.render(label, scale);
    }
    double lineWidth(std::string_view text, double pointSize) const override {
        return qt.lineWidth(text, pointSize);
    }
    NameSheet renderNames(std::span<const NameLabel> names, double scale) const override {
        ++sheets;
        return qt.renderNames(names, scale);
    }

    mutable int sheets = 0;

private:
    QtLabelTypesetter qt;
};

// The names on a graph's picture, with where they go.
std::vector<std::tuple<std::string, double, double, double, double>>
placedNames(const Graph& graph) {
    std::vector<std::tuple<std::string, double, double, double, double>> all;
    for (const NameLabel& name : graph.chartNames())
        all.emplace_back(name.name, name.frame.x, name.frame.y, name.frame.width,
                         name.frame.height);
    return all;
}

class PictureLayersTest : public ::testing::TestWithParam<GraphType> {
protected:
    void SetUp() override {
        previousClock = Animation::setClock([this] { return now; });
        settings.graphType = GraphParam();
        controller = FileController::create("/snapshots/home.fssnapshot", treeWithSlivers());
        graph = std::make_unique<Graph>(settings);
        graph->setView(&view);
        graph->setUp();
        graph->setFileController(controller);
        settle();
    }
    void TearDown() override {
        graph.reset();
        controller.reset();
        MainQueue::shared().runPending();
        Animation::setClock(std::move(previousClock));
    }
    GraphType GraphParam() const { return GetParam(); }
    void frameAt(double seconds) {
        now = seconds;
        view.drawFrame(*graph);
    }
    // Frames until every transition and fade has ended.
    void settle() {
        for (int i = 0; i < 5; ++i)
            frameAt(now + 1);
    }
    File& at(const char* path) { return *controller->rootFile()->fileAtPath(path); }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const NameLabel& name : graph->chartNames())
            all.push_back(name.name);
        return all;
    }
    bool named(const std::string& name) const {
        const auto all = names();
        return std::find(all.begin(), all.end(), name) != all.end();
    }
    std::string allNames() const {
        std::string joined;
        for (const std::string& name : names())
            joined += name + "; ";
        return joined;
    }
    const NameLabel* nameOf(const std::string& name) const {
        for (const NameLabel& label : graph->chartNames())
            if (label.name == name) return &label;
        return nullptr;
    }
    // Pixels of the name's box in the colour of its text.
    int textPixels(const NameLabel& name) const {
        int count = 0;
        for (double y = name.frame.y + 0.5; y < name.frame.maxY(); y += 1)
            for (double x = name.frame.x + 0.5; x < name.frame.maxX(); x += 1) {
                const DrawColor pixel = view.canvas().colorAt(x, y);
                if (std::abs(pixel.red - name.color.red) < 0.15 &&
                    std::abs(pixel.green - name.color.green) < 0.15 &&
                    std::abs(pixel.blue - name.color.blue) < 0.15)
                    ++count;
            }
        return count;
    }

    double now = 100;
    Animation::Clock previousClock;
    Settings settings;
    CountingTypesetter typesetter;
    HeadlessGraphView view{typesetter, 900, 600};
    std::shared_ptr<FileController> controller;
    std::unique_ptr<Graph> graph;
};

TEST_P(PictureLayersTest, NamesGoInsideTheirShapesApartAndNeverOnSlivers) {
    EXPECT_TRUE(named("holiday-video.mkv")) << allNames();
    EXPECT_TRUE(named("photos")) << allNames();
    const auto all = names();
    for (const std::string& name : all)
        EXPECT_NE(name.rfind("sliver", 0), 0u) << name;
    // The largest file's tile has room for its size under its name (a ring of this small pie
    // is too thin for two lines).
    ASSERT_NE(nameOf("holiday-video.mkv"), nullptr);
    EXPECT_EQ(nameOf("holiday-video.mkv")->size,
              GraphParam() == GraphType::treeMap ? "600 KB" : "");

    ASSERT_FALSE(view.labels().empty());
    const DrawRect centreLabel = view.labels().front().frame;
    const auto& placed = graph->chartNames();
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const NameLabel& name = placed[i];
        EXPECT_FALSE(overlap(name.frame, centreLabel)) << name.name;
        for (std::size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_FALSE(overlap(name.frame, placed[j].frame)) << name.name << placed[j].name;
        const File* file = nullptr;
        for (const char* path : {"holiday-video.mkv", "photos", "photos/beach.jpg",
                                 "photos/city.jpg", "photos/crumbs", "notes.txt"})
            if (at(path).displayName() == name.name) file = &at(path);
        ASSERT_NE(file, nullptr) << name.name;
        if (auto* map = dynamic_cast<DrawTreeMap*>(graph->fileDraw())) {
            EXPECT_TRUE(inside(map->view(*file)->frame, name.frame)) << name.name;
        } else if (auto* pie = dynamic_cast<DrawPieChart*>(graph->fileDraw())) {
            EXPECT_TRUE(insideSector(pie->view(*file)->sector, name.frame)) << name.name;
        }
        // The CPU back end wrote it.
        EXPECT_GT(textPixels(name), 10) << name.name;
    }
}

TEST_P(PictureLayersTest, TheViewMenusSwitchTakesTheNamesOffAndBack) {
    ASSERT_NE(nameOf("holiday-video.mkv"), nullptr);
    const NameLabel shown = *nameOf("holiday-video.mkv");
    graph->changeSettings([](Settings& next) { next.showNames = false; });
    settle();
    EXPECT_TRUE(graph->chartNames().empty());
    EXPECT_LE(textPixels(shown), 2); // the fill alone, where the name was
    graph->changeSettings([](Settings& next) { next.showNames = true; });
    settle();
    ASSERT_NE(nameOf("holiday-video.mkv"), nullptr);
    EXPECT_GT(textPixels(*nameOf("holiday-video.mkv")), 10);
}

TEST_P(PictureLayersTest, NamesFadeWithTheirPictureAndTheNextOnesFadeInWhenItSettles) {
    ASSERT_DOUBLE_EQ(graph->restingAlpha(), 1.0);
    const std::vector<std::string> before = names();
    graph->navigate(at("photos"));
    double last = 1;
    for (int frame = 0; frame < 200 && graph->fileTransitionType(); ++frame) {
        frameAt(now + 0.01);
        if (!graph->fileTransitionType()) break;
        // The old names only fade while the zoom runs.
        EXPECT_LE(graph->restingAlpha(), last);
        last = graph->restingAlpha();
        EXPECT_EQ(names(), before);
    }
    EXPECT_DOUBLE_EQ(last, 0.0);
    EXPECT_FALSE(graph->fileTransitionType());
    EXPECT_LT(graph->restingAlpha(), 1.0);
    // The new names are made by the first frame that shows any (the frame that ends the zoom
    // starts their fade-in and may leave them for the next): no frame shows the old ones.
    const auto newNamesShown = [&] {
        return graph->restingAlpha() * 255 < 1 || // changes no pixel by a level
               (named("beach.jpg") && !named("holiday-video.mkv"));
    };
    EXPECT_TRUE(newNamesShown());
    frameAt(now + 0.001);
    EXPECT_TRUE(newNamesShown());
    frameAt(now + Graph::kRestingFadeDuration / 2);
    EXPECT_TRUE(newNamesShown());
    EXPECT_GT(graph->restingAlpha(), 0.3);
    EXPECT_LT(graph->restingAlpha(), 0.7);
    settle();
    EXPECT_DOUBLE_EQ(graph->restingAlpha(), 1.0);
    EXPECT_TRUE(named("beach.jpg"));
}

// A tree map rearranging holds the views of the picture it reaches from its start: that
// picture's names are made then, not in the frame that first shows them, and are the names of a
// picture laid out so from the first.
TEST_P(PictureLayersTest, ATreeMapsRearrangementMakesTheNextNamesWhenItStarts) {
    if (GraphParam() != GraphType::treeMap) GTEST_SKIP() << "the pie chart makes them at rest";
    const auto before = placedNames(*graph);
    ASSERT_FALSE(before.empty());
    const int sheets = typesetter.sheets;
    graph->changeSettings(
        [](Settings& next) { next.beginLayoutOnBottomEdge = !next.beginLayoutOnBottomEdge; });
    ASSERT_TRUE(graph->fileTransitionType());
    EXPECT_EQ(typesetter.sheets, sheets + 1);
    EXPECT_EQ(placedNames(*graph), before); // the old ones fade out meanwhile
    settle();
    EXPECT_EQ(typesetter.sheets, sheets + 1);
    const auto after = placedNames(*graph);
    EXPECT_NE(after, before);

    Settings flipped = settings; // the graph's, changed
    HeadlessGraphView otherView{typesetter, 900, 600};
    Graph other(flipped);
    other.setView(&otherView);
    other.setUp();
    other.setFileController(
        FileController::create("/snapshots/home.fssnapshot", treeWithSlivers()));
    for (int i = 0; i < 5; ++i) {
        now += 1;
        otherView.drawFrame(other);
    }
    EXPECT_EQ(placedNames(other), after);
}

TEST_P(PictureLayersTest, AFileArrivingOnDiskIsNamedAtOnceWithoutFadingTheOthers) {
    TemporaryDirectory folder;
    folder.writeFile("holiday-video.mkv", 600'000);
    folder.writeFile("notes.txt", 80'000);
    auto scanned = FileController::create(folder.path());
    Favorite favorite(folder.path(), false);
    favorite.setFileController(scanned); // scans, then follows the folder live
    graph->setFileController(scanned);
    ASSERT_TRUE(MainQueue::shared().runUntil([&] { return scanned->rootFile() != nullptr; },
                                             std::chrono::seconds(30)));
    settle();
    ASSERT_TRUE(named("holiday-video.mkv")) << allNames();
    ASSERT_DOUBLE_EQ(graph->restingAlpha(), 1.0);

    folder.writeFile("arrival.iso", 900'000);
    const bool arrived = MainQueue::shared().runUntil(
        [&] {
            frameAt(now + 0.01);
            return named("arrival.iso");
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(named("holiday-video.mkv"));
    EXPECT_DOUBLE_EQ(graph->restingAlpha(), 1.0);
    graph->setFileController(nullptr);
    favorite.setFileController(nullptr);
}

// A search's matches lit over the dimmed picture (the same fixture: a picture at rest).
class NameEndsWith final : public FilePredicate {
public:
    explicit NameEndsWith(std::string suffix) : suffix_(std::move(suffix)) {}
    bool evaluate(const File& file) const override {
        const std::string name = file.displayName();
        return name.size() >= suffix_.size() &&
               name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) == 0;
    }

private:
    std::string suffix_;
};

TEST_P(PictureLayersTest, ASearchLightsItsMatchesAndDimsTheRest) {
    ASSERT_NE(nameOf("holiday-video.mkv"), nullptr);
    const auto fillUnder = [this](const char* path) {
        const DrawPoint centre = *graph->fileDraw()->center(at(path));
        // Beside the name written there.
        const NameLabel* name = nameOf(at(path).displayName());
        return view.canvas().colorAt(centre.x, name != nullptr ? name->frame.y - 3 : centre.y);
    };
    const DrawColor video = fillUnder("holiday-video.mkv");
    const DrawColor notes = fillUnder("notes.txt");
    graph->setLitFilter(std::make_shared<NameEndsWith>(".jpg"));
    settle();
    EXPECT_EQ(graph->litFileCount(), 2u); // beach.jpg and city.jpg
    const auto nearly = [](const DrawColor& a, const DrawColor& b) {
        return std::abs(a.red - b.red) < 0.02 && std::abs(a.green - b.green) < 0.02 &&
               std::abs(a.blue - b.blue) < 0.02;
    };
    // The rest towards the background.
    const DrawColor dimmed = fillUnder("holiday-video.mkv");
    EXPECT_FALSE(nearly(dimmed, video));
    const double grey = palette::backgroundGrey();
    EXPECT_LT(std::abs(dimmed.green - grey), std::abs(video.green - grey) * 0.5);
    // A match keeps its own colour.
    graph->setLitFilter(std::make_shared<NameEndsWith>(".txt"));
    settle();
    EXPECT_EQ(graph->litFileCount(), 1u);
    EXPECT_TRUE(nearly(fillUnder("notes.txt"), notes));
    graph->setLitFilter(nullptr);
    settle();
    EXPECT_TRUE(nearly(fillUnder("holiday-video.mkv"), video));
}

// Cushions shade the tree map's tiles without moving them; the pie chart has none.
TEST_P(PictureLayersTest, CushionsShadeTheTilesWithoutMovingThem) {
    auto* map = dynamic_cast<DrawTreeMap*>(graph->fileDraw());
    graph->changeSettings([](Settings& next) {
        next.cushions = true;
        next.showNames = false;
    });
    settle();
    if (map == nullptr) {
        EXPECT_FALSE(graph->showsCushions());
        return;
    }
    ASSERT_TRUE(graph->showsCushions());
    const DrawRect frame = map->view(at("holiday-video.mkv"))->frame;
    const auto hueAt = [this](double x, double y) {
        const DrawColor c = view.canvas().colorAt(x, y);
        return std::array{c.red, c.green, c.blue};
    };
    const auto brightness = [&](double x, double y) {
        const auto c = hueAt(x, y);
        return std::max({c[0], c[1], c[2]});
    };
    const double centreX = frame.x + frame.width / 2;
    const double centreY = frame.y + frame.height / 2;
    // A bump: the top left, facing the light, brighter than the bottom right, which turns away.
    EXPECT_GT(brightness(frame.x + 4, frame.maxY() - 4),
              brightness(frame.maxX() - 4, frame.y + 4) + 0.2);
    const DrawColor flat = palette::file(map->view(at("holiday-video.mkv"))->hue);
    const auto shaded = hueAt(centreX, centreY);
    // Shading darkens the tile's own colour: the channels keep their proportions.
    const double scale = shaded[0] / std::max(flat.red, 1e-6);
    EXPECT_NEAR(shaded[1], flat.green * scale, 0.03);
    EXPECT_NEAR(shaded[2], flat.blue * scale, 0.03);

    graph->changeSettings([](Settings& next) { next.cushions = false; });
    settle();
    EXPECT_FALSE(graph->showsCushions());
    const DrawRect flatFrame = map->view(at("holiday-video.mkv"))->frame;
    EXPECT_EQ(flatFrame.x, frame.x);
    EXPECT_EQ(flatFrame.y, frame.y);
    EXPECT_EQ(flatFrame.width, frame.width);
    EXPECT_EQ(flatFrame.height, frame.height);
    EXPECT_NEAR(brightness(frame.x + 4, frame.maxY() - 4),
                brightness(frame.maxX() - 4, frame.y + 4), 0.01);
}

// The colour mode by file type: each kind in its colour, folders neutral, and the legend.
TEST_P(PictureLayersTest, KindsOfFilesTakeTheirColoursAndTheLegendLightsThem) {
    if (MimeGlobs::fromDesktop().empty())
        GTEST_SKIP() << "no shared-mime-info database in the XDG data folders";
    auto kinds = FileController::create(
        "/snapshots/kinds.fssnapshot",
        dir("", file("film.mkv", 400'000), file("beach.jpg", 300'000), file("xq7", 200'000),
            dir("src", file("main.cpp", 60'000), file("shot.png", 40'000))));
    graph->setFileController(kinds);
    graph->changeSettings([](Settings& next) {
        next.colorMode = ColorMode::fileType;
        next.showNames = false;
    });
    settle();
    Directory& root = *kinds->rootFile();
    const auto colourOf = [&](const char* path) {
        const DrawPoint centre = *graph->fileDraw()->center(*root.fileAtPath(path));
        return view.canvas().colorAt(centre.x, centre.y);
    };
    const auto near = [](const DrawColor& a, const DrawColor& b) {
        return std::abs(a.red - b.red) < 0.02 && std::abs(a.green - b.green) < 0.02 &&
               std::abs(a.blue - b.blue) < 0.02;
    };
    EXPECT_TRUE(
        near(colourOf("film.mkv"), palette::file(palette::categoryHue(FileCategory::video))));
    EXPECT_TRUE(
        near(colourOf("beach.jpg"), palette::file(palette::categoryHue(FileCategory::images))));
    EXPECT_TRUE(near(colourOf("src/shot.png"), colourOf("beach.jpg")));
    EXPECT_TRUE(near(colourOf("xq7"), palette::file(palette::kOtherKindHue)));
    if (GraphParam() == GraphType::pieChart) { // a folder's own sector, in the neutral colour
        EXPECT_TRUE(near(colourOf("src"), palette::file(palette::kFolderHue)));
    }

    // The legend: every kind present, largest first, adding up to the shown folder.
    const GraphLegend* legend = graph->legend();
    ASSERT_NE(legend, nullptr);
    std::int64_t sum = 0;
    std::vector<FileCategory> order;
    for (const GraphLegend::Entry& entry : legend->entries()) {
        sum += entry.total;
        order.push_back(entry.category);
    }
    EXPECT_EQ(sum, root.size());
    EXPECT_EQ(order, (std::vector{FileCategory::video, FileCategory::images, FileCategory::other,
                                  FileCategory::sourceCode}));
    EXPECT_EQ(legend->entries()[1].total, 340'000);

    // A click on the images' line lights the images, and only them; a second click, nothing.
    const DrawRect area = *legend->frame(view.size());
    DrawPoint imagesLine{area.x + area.width / 2, 0};
    for (double y = area.maxY(); y > area.y; y -= 1)
        if (legend->categoryAt({imagesLine.x, y}, view.size()) == FileCategory::images) {
            imagesLine.y = y;
            break;
        }
    ASSERT_EQ(legend->categoryAt(imagesLine, view.size()), FileCategory::images);
    // The bubble of a file says its kind.
    graph->pointerLocation = *graph->fileDraw()->center(*root.fileAtPath("film.mkv"));
    graph->updateActiveFileFromPointer();
    settle();
    EXPECT_NE(graph->activeText().find("Video"), std::string::npos) << graph->activeText();
    graph->pointerLocation = imagesLine;
    graph->updateActiveFileFromPointer();
    EXPECT_EQ(graph->activeFile(), nullptr); // the legend covers what lies under it
    graph->click();
    settle();
    ASSERT_NE(graph->litFilter(), nullptr);
    for (const char* path : {"film.mkv", "beach.jpg", "xq7", "src", "src/main.cpp", "src/shot.png"})
        EXPECT_EQ(graph->litFilter()->evaluate(*root.fileAtPath(path)),
                  std::string_view(path).ends_with("g"))
            << path;
    EXPECT_EQ(graph->litFileCount(), 2u);
    EXPECT_EQ(legend->lit, FileCategory::images);
    graph->click();
    settle();
    EXPECT_EQ(graph->litFilter(), nullptr);
    // A search's lighting takes the place of a kind lit from the legend.
    graph->click();
    graph->setLitFilter(std::make_shared<NameEndsWith>(".cpp"));
    settle();
    EXPECT_EQ(legend->lit, std::nullopt);
    EXPECT_EQ(graph->litFileCount(), 1u);
    graph->setFileController(controller);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, PictureLayersTest,
                         ::testing::Values(GraphType::pieChart, GraphType::treeMap),
                         [](const auto& type) {
                             return type.param == GraphType::pieChart ? "PieChart" : "TreeMap";
                         });

} // namespace
} // namespace tessera
