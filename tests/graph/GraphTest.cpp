// A graph driven the way a user drives it, frame by frame on a fake clock, through a headless
// view: what transition runs and what the frame shows at chosen instants.
#include "graph/Graph.h"

#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "graph/HeadlessGraphView.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/MergedFile.h"
#include "model/Utf8.h"
#include "platform/MainQueue.h"
#include "render/QtLabelTypesetter.h"
#include "support/TemporaryDirectory.h"
#include "support/TreeBuilders.h"

#include <functional>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

class GraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousClock = Animation::setClock([this] { return now; });
        controller = FileController::create(
            "/snapshots/home.fssnapshot",
            dir("", dir("docs", file("a", 4000), file("b", 2000)),
                dir("music", file("c", 3000), dir("deep", file("d", 1000))), file("e", 500)));
        graph = std::make_unique<Graph>(settings, [this] { ++saves; });
        graph->setView(&view);
        graph->setUp();
        graph->setFileController(controller);
    }
    void TearDown() override {
        graph.reset();
        controller.reset();
        MainQueue::shared().runPending(); // lets go of nodes kept for observers
        Animation::setClock(std::move(previousClock));
    }
    // Advances the clock and draws one frame.
    void frameAt(double seconds) {
        now = seconds;
        view.drawFrame(*graph);
    }
    template <typename Type> bool runs() const {
        const auto type = graph->fileTransitionType();
        return type && std::holds_alternative<Type>(*type);
    }
    File& at(const char* path) { return *controller->rootFile()->fileAtPath(path); }

    double now = 100;
    Animation::Clock previousClock;
    Settings settings;
    int saves = 0;
    QtLabelTypesetter typesetter;
    HeadlessGraphView view{typesetter, 400, 300};
    std::shared_ptr<FileController> controller;
    std::unique_ptr<Graph> graph;
};

TEST_F(GraphTest, ALoadedTreeFadesInAndItsSizeIsTheCentreText) {
    EXPECT_EQ(graph->file(), controller->rootFile());
    EXPECT_TRUE(runs<Graph::Fade>());
    frameAt(100);
    EXPECT_DOUBLE_EQ(graph->rendererAlpha(), 0.0);
    frameAt(100.14);
    EXPECT_NEAR(graph->rendererAlpha(), 0.5, 1e-9);
    frameAt(100.28);
    EXPECT_FALSE(graph->fileTransitionType());
    EXPECT_DOUBLE_EQ(graph->rendererAlpha(), 1.0);
    ASSERT_FALSE(view.labels().empty());
    EXPECT_EQ(view.labels().front().text,
              *controller->rootFile()->displaySizeString(SizeMode::fileSize));
    // The picture is there: the first ring's largest folder (docs, red) right of the centre.
    const DrawColor pixel = view.canvas().colorAt(0, -55);
    EXPECT_GT(pixel.red, 0.9);
}

TEST_F(GraphTest, WhileAFolderIsScannedTheRingPulsesWithTheProgressInTheMiddle) {
    TemporaryDirectory folder;
    folder.writeFile("a", 3000);
    folder.writeFile("sub/b", 1000);
    auto scanned = FileController::create(folder.path());
    Favorite favorite(folder.path(), false);
    favorite.setFileController(scanned); // starts the scan
    graph->setFileController(scanned);
    ASSERT_TRUE(graph->isLoading());
    scanned->scanOperationDidUpdateProgress({0, 1234});
    frameAt(100);
    EXPECT_EQ(graph->mainText(), "1,234 files");
    EXPECT_TRUE(view.needsDisplay()); // the ring keeps pulsing
    scanned->scanOperationDidUpdateProgress({8, 3});
    frameAt(100.5);
    EXPECT_EQ(graph->mainText(), "37.5%");
    ASSERT_EQ(view.labels().size(), 1u);

    ASSERT_TRUE(MainQueue::shared().runUntil([&] { return scanned->rootFile() != nullptr; },
                                             std::chrono::seconds(30)));
    EXPECT_FALSE(graph->isLoading());
    EXPECT_EQ(graph->file(), scanned->rootFile());
    EXPECT_TRUE(runs<Graph::Fade>());
    frameAt(101);
    EXPECT_EQ(graph->mainText(), *scanned->rootFile()->displaySizeString(SizeMode::fileSize));
    graph->setFileController(nullptr);
    favorite.setFileController(nullptr);
}

TEST_F(GraphTest, ZoomingInThenOutRunsBothPhasesOfEach) {
    frameAt(101); // the fade is over
    File& docs = at("docs");
    graph->navigate(docs);
    EXPECT_EQ(graph->file(), &docs);
    ASSERT_TRUE(runs<Graph::ZoomIn>());
    EXPECT_TRUE(graph->hasFadingRenderer()); // first phase: the old picture fades
    frameAt(101.14);
    frameAt(101.28);
    EXPECT_TRUE(runs<Graph::ZoomIn>());
    EXPECT_FALSE(graph->hasFadingRenderer()); // second phase: the zoom itself
    frameAt(101.56);
    EXPECT_FALSE(graph->fileTransitionType());

    // A click on the centre goes back to the parent and truncates the forward history.
    graph->pointerLocation = {0, 0};
    graph->updateActiveFileFromPointer();
    EXPECT_EQ(graph->activeFile(), &docs);
    graph->click();
    EXPECT_EQ(graph->file(), controller->rootFile());
    ASSERT_TRUE(runs<Graph::ZoomOut>());
    EXPECT_FALSE(graph->hasFadingRenderer());
    frameAt(101.84);
    EXPECT_TRUE(graph->hasFadingRenderer()); // the zoomed-out picture now fades in
    frameAt(102.12);
    EXPECT_FALSE(graph->fileTransitionType());
    EXPECT_FALSE(graph->canGoForward());
    graph->setFile(*controller->rootFile()); // already shown: nothing happens
    EXPECT_FALSE(graph->fileTransitionType());
}

TEST_F(GraphTest, ASiblingIsReachedThroughTheCommonParentAndSpeedScalesTheZooms) {
    frameAt(101);
    settings.animationSpeed = 2.0;
    graph->navigate(at("docs"));
    frameAt(101.28);
    frameAt(101.42);
    EXPECT_FALSE(graph->fileTransitionType());

    File& deep = at("music/deep");
    graph->navigate(deep);
    EXPECT_EQ(graph->file(), controller->rootFile()); // first out to the common folder
    ASSERT_TRUE(runs<Graph::ZoomOutIn>());
    frameAt(101.56); // 0.14 s at speed 2: the zoom out is done, the fade starts
    EXPECT_TRUE(graph->hasFadingRenderer());
    frameAt(101.84); // the fade took 0.28 s: now the zoom in
    EXPECT_EQ(graph->file(), &deep);
    EXPECT_TRUE(runs<Graph::ZoomIn>());
    frameAt(102.12);
    frameAt(102.26);
    EXPECT_FALSE(graph->fileTransitionType());
    EXPECT_TRUE(graph->canGoBack());
    graph->goBack();
    EXPECT_EQ(graph->file(), controller->rootFile());
}

TEST_F(GraphTest, SettingChangesRearrangeRecolourAndAreSaved) {
    frameAt(101);
    graph->changeSettings([](Settings& next) { next.sizeMode = SizeMode::childCount; });
    EXPECT_EQ(settings.sizeMode, SizeMode::childCount);
    EXPECT_EQ(saves, 1);
    ASSERT_TRUE(runs<Graph::Display>());
    frameAt(101.5);
    EXPECT_TRUE(runs<Graph::Display>());
    frameAt(102);
    EXPECT_FALSE(graph->fileTransitionType());

    graph->changeSettings([](Settings& next) { next.colorMode = ColorMode::creationDate; });
    EXPECT_TRUE(runs<Graph::Display>());
    graph->changeSettings(
        [](Settings& next) { next.colorMode = ColorMode::creationDate; }); // unchanged: nothing new
    EXPECT_EQ(saves, 2);
    // A new navigation ends the running transition in its final state first.
    graph->navigate(at("music"));
    EXPECT_TRUE(runs<Graph::ZoomIn>());

    graph->changeSettings([](Settings& next) { next.graphType = GraphType::treeMap; });
    EXPECT_TRUE(runs<Graph::Fade>());
    EXPECT_NE(dynamic_cast<DrawTreeMap*>(graph->fileDraw()), nullptr);
    frameAt(103);
    EXPECT_FALSE(graph->fileTransitionType());
}

TEST_F(GraphTest, KeyboardMovesWrapAndTheActiveLabelStaysInTheView) {
    frameAt(101);
    graph->selectSibling(1); // nothing active: the first child
    EXPECT_EQ(graph->activeFile(), &at("docs"));
    graph->selectSibling(-1); // wraps to the last shown child
    const auto shown = controller->rootFile()->displayedContents();
    EXPECT_EQ(graph->activeFile(), shown.back());
    graph->selectFirstChild();
    graph->selectParent();
    EXPECT_EQ(graph->activeFile(), shown.back());

    graph->selectSibling(1);
    frameAt(101.1); // the highlight and the active label are drawn
    ASSERT_FALSE(graph->activeText().empty());
    // Near the top the label goes below the pointer; near the sides it stays inside.
    graph->pointerLocation = {195, 148};
    const DrawRect frame = graph->activeFileTextFrame();
    EXPECT_LT(frame.y, 148);
    EXPECT_LE(frame.maxX(), 200 - Graph::kViewMargin + 1e-9);
    graph->pointerLocation = {0, -120};
    EXPECT_DOUBLE_EQ(graph->activeFileTextFrame().y, -120 + Graph::kPointerOffsetY);
    // Wherever the pointer is, the label leaves the centre label readable.
    ASSERT_EQ(view.labels().size(), 2u);
    const DrawRect centre = view.labels()[0].frame;
    for (double px = -200; px <= 200; px += 10)
        for (double py = -150; py <= 150; py += 10) {
            graph->pointerLocation = {px, py};
            const DrawRect label = graph->activeFileTextFrame();
            EXPECT_TRUE(label.maxX() <= centre.x || label.x >= centre.maxX() ||
                        label.maxY() <= centre.y || label.y >= centre.maxY())
                << "pointer at " << px << ", " << py;
            EXPECT_GE(label.x, -200 + Graph::kViewMargin - 1e-9);
            EXPECT_LE(label.maxX(), 200 - Graph::kViewMargin + 1e-9);
        }
}

TEST_F(GraphTest, TheTreeMapsActiveLabelNamesTheFoldersAboveTheFileItsSizeAndDate) {
    graph->changeSettings([](Settings& next) { next.graphType = GraphType::treeMap; });
    graph->changeSettings([](Settings& next) { next.colorMode = ColorMode::modificationDate; });
    frameAt(102);
    File& d = at("music/deep/d");
    const DrawPoint centre = *graph->fileDraw()->center(d);
    graph->pointerLocation = centre;
    graph->updateActiveFileFromPointer();
    EXPECT_EQ(graph->activeFile(), &d);
    frameAt(102.1); // the highlight fades in
    frameAt(102.5);
    const std::string text = graph->activeText();
    EXPECT_TRUE(text.starts_with("music\ndeep\nd - 1 KB\n")) << text;
    EXPECT_NE(text.find("2023"), std::string::npos) << text;

    // Drawn where activeFileTextFrame() says, after the centre label: below the pointer, as
    // the file lies near the top.
    ASSERT_EQ(view.labels().size(), 2u);
    const auto& drawn = view.labels()[1];
    EXPECT_EQ(drawn.text, text);
    const DrawRect frame = graph->activeFileTextFrame();
    EXPECT_NEAR(drawn.frame.x, frame.x, 0.5);
    EXPECT_NEAR(drawn.frame.y, frame.y, 0.5);
    EXPECT_DOUBLE_EQ(frame.maxY(), centre.y - Graph::kPointerOffsetY);
    EXPECT_GT(frame.height, 3 * 11.0); // four lines
    // Its bubble is light grey at alpha 0.85 over the coloured tree map: no channel is more
    // than the remaining 0.15 from the others.
    const DrawColor bubble =
        view.canvas().colorAt(drawn.frame.x + 3, drawn.frame.maxY() - drawn.frame.height / 2);
    EXPECT_NEAR(bubble.red, bubble.green, 0.16);
    EXPECT_NEAR(bubble.green, bubble.blue, 0.16);
    EXPECT_GT(bubble.green, 0.75);
}

// Over a chain of 20,000 folders the bubble names the file and the nearest folders above it,
// below an ellipsis: a few lines, whatever the depth, and found by one walk up the chain.
TEST_F(GraphTest, TheTreeMapsBubbleNamesOnlyTheNearestFoldersOfADeepChain) {
    FilePtr chain = file("leaf", 1000);
    for (int level = 20'000; level > 0; --level) {
        std::vector<FilePtr> contents;
        contents.push_back(std::move(chain));
        chain = FilePtr(
            Directory::create("d" + std::to_string(level), kCreated, kModified, std::move(contents))
                .release());
    }
    std::vector<FilePtr> top;
    top.push_back(std::move(chain));
    controller = FileController::create(
        "/snapshots/deep.fssnapshot",
        DirectoryPtr(Directory::create("", kCreated, kModified, std::move(top)).release()));
    graph->setFileController(controller);
    graph->changeSettings([](Settings& next) { next.graphType = GraphType::treeMap; });
    frameAt(103);
    graph->pointerLocation = {0, 0};
    graph->updateActiveFileFromPointer();
    ASSERT_NE(graph->activeFile(), nullptr);
    EXPECT_EQ(graph->activeFile()->path(), "leaf");
    frameAt(103.5);
    EXPECT_EQ(graph->activeText(), "\u2026\nd19997\nd19998\nd19999\nd20000\nleaf - 1 KB")
        << graph->activeText();
}

// A name with a right-to-left override ("photo\u202Egpj.exe" reads as "photoexe.jpg") is set
// apart in the bubble, so that the override ends with the name instead of reversing its size.
TEST_F(GraphTest, ABidirectionalOverrideInANameStaysInsideTheName) {
    const std::string tricky = "photo\u202Egpj.exe";
    controller =
        FileController::create("/snapshots/tricky.fssnapshot",
                               DirectoryPtr(dir("", file(tricky, 1000)).release()->asDirectory()));
    graph->setFileController(controller);
    frameAt(103);
    graph->selectSibling(1); // the keyboard makes the file active
    ASSERT_NE(graph->activeFile(), nullptr);
    frameAt(103.5);
    EXPECT_EQ(graph->activeText(), "\u2068" + tricky + "\u2069 - 1 KB");
    EXPECT_EQ(isolatedName("plain name"), "plain name");
}

// The centre label stays inside the pie chart's hole, however long its text: a smaller type,
// then two lines.
TEST_F(GraphTest, TheCentreLabelFitsThePieChartsHole) {
    const auto* pie = dynamic_cast<DrawPieChart*>(graph->fileDraw());
    ASSERT_NE(pie, nullptr);
    const double hole = 2 * pie->radius().min;
    controller = FileController::create(
        "/snapshots/big.fssnapshot",
        DirectoryPtr(dir("", file("disk image", 123'456'789'012), file("notes", 2'000))
                         .release()
                         ->asDirectory()));
    graph->setFileController(controller);
    graph->changeSettings([](Settings& next) { next.sizeMode = SizeMode::allocatedFileSize; });
    frameAt(103);
    ASSERT_FALSE(view.labels().empty());
    EXPECT_TRUE(graph->mainText().ends_with("allocated")) << graph->mainText();
    const DrawRect frame = view.labels()[0].frame;
    EXPECT_LE(frame.width, hole) << graph->mainText();
}

TEST_F(GraphTest, TheCentreLabelFollowsTheAppearanceAndFadesWithThePicture) {
    HeadlessGraphView dark(typesetter, 400, 300, true);
    graph->setView(&dark);
    graph->updateAppearance();
    now = 100.14;
    dark.drawFrame(*graph);
    ASSERT_EQ(dark.labels().size(), 1u);
    EXPECT_NEAR(dark.labels()[0].alpha, 1.0, 1e-9); // the centre text stays while the tree fades
    now = 101;
    dark.drawFrame(*graph);
    // Light text on the dark background in the middle of the pie chart.
    const DrawRect frame = dark.labels()[0].frame;
    double brightest = 0;
    for (double x = frame.x; x < frame.maxX(); x += 1)
        for (double y = frame.y; y < frame.maxY(); y += 1)
            brightest = std::max(brightest, dark.canvas().colorAt(x + 0.5, y + 0.5).green);
    EXPECT_GT(brightest, 0.8);
    EXPECT_NEAR(dark.canvas().colorAt(frame.x - 2, 0).green, 0.2, 0.01);
    graph->setView(&view);
}

TEST_F(GraphTest, TheShownFolderRemovedShowsItsParent) {
    frameAt(101);
    File& music = at("music");
    graph->navigate(music);
    frameAt(102);
    frameAt(103);
    controller->applyUpdate("/snapshots/home.fssnapshot/music", std::nullopt);
    EXPECT_EQ(graph->file(), controller->rootFile());
    EXPECT_FALSE(graph->fileTransitionType());
    frameAt(104); // draws the parent; nothing points at the removed folder
    EXPECT_EQ(graph->file(), controller->rootFile());
}

} // namespace
} // namespace tessera

namespace tessera {
namespace {

using namespace tessera::testing;

// Navigation interrupted at every phase of the transitions it starts: whatever arrives, once the
// frames run out the picture shows the file that the history's index names.
TEST_F(GraphTest, NavigationDuringTransitionsEndsOnTheFileTheHistoryNames) {
    const std::string rootSize = *controller->rootFile()->displaySizeString(SizeMode::fileSize);
    // Every 0.05 s through the out, fade and in phases of the first Back.
    auto settle = [this] {
        for (int i = 0; i < 12; ++i)
            frameAt(now + 0.1);
    };
    for (double delay = 0.0; delay <= 0.9; delay += 0.05) {
        SCOPED_TRACE(delay);
        graph->navigate(*controller->rootFile());
        settle();
        graph->navigate(at("docs"));
        settle();
        graph->navigate(at("music/deep")); // out to the root, then in
        settle();
        ASSERT_EQ(graph->file(), &at("music/deep"));
        graph->goBack(); // to docs, again out to the root first
        ASSERT_TRUE(runs<Graph::ZoomOutIn>());
        frameAt(now + delay);
        graph->goBack(); // to the root
        settle();
        EXPECT_FALSE(graph->fileTransitionType());
        EXPECT_EQ(graph->file(), controller->rootFile());
        EXPECT_EQ(graph->mainText(), rootSize);
        EXPECT_TRUE(graph->canGoForward());
    }
}

// A setting changed part-way through a zoom rearranges from the zoom's final picture, as it
// does when the zoom has finished.
TEST_F(GraphTest, ASettingChangedDuringAZoomStartsFromTheZoomsEnd) {
    auto rearrangementStart = [this](double interruptedAfter) {
        Settings ownSettings;
        HeadlessGraphView ownView{typesetter, 400, 300};
        auto ownController = FileController::create(
            "/snapshots/home.fssnapshot",
            dir("", dir("docs", file("a", 4000), file("b", 2000)),
                dir("music", file("c", 3000), dir("deep", file("d", 1000))), file("e", 500)));
        Graph ownGraph(ownSettings);
        ownGraph.setView(&ownView);
        ownGraph.setUp();
        ownGraph.setFileController(ownController);
        for (now = 200; now < 202; now += 0.1)
            ownView.drawFrame(ownGraph);
        ownGraph.navigate(*ownController->rootFile()->fileAtPath("docs"));
        // Frames every 0.05 s up to the interruption: the zoom's fade, then its growth.
        for (const double end = now + interruptedAfter; now < end; now += 0.05)
            ownView.drawFrame(ownGraph);
        ownGraph.changeSettings([](Settings& next) {
            next.sizeMode = SizeMode::childCount;
        }); // the rearrangement's first frame: p = 0
        ownView.drawFrame(ownGraph);
        auto image = ownView.canvas().image();
        ownGraph.setFileController(nullptr);
        return image;
    };
    const auto finished = rearrangementStart(2.0);
    for (const double interruptedAfter : {0.1, 0.3, 0.45}) {
        SCOPED_TRACE(interruptedAfter);
        EXPECT_TRUE(rearrangementStart(interruptedAfter) == finished);
    }
}

// Each phase of each transition runs for its own duration and curve: the fades of a loaded
// tree, of a new graph type and of a zoom's second half are not scaled by the animation speed;
// the zooms' growth and shrinking are, and ease in and out.
TEST_F(GraphTest, EachPhaseTakesItsOwnDurationAndCurveAtAnySpeed) {
    settings.animationSpeed = 2.0;
    const auto labelAlpha = [this] {
        return view.labels().empty() ? -1.0 : view.labels().front().alpha;
    };
    now = 101;
    graph->setFileController(controller); // the tree fades in again
    frameAt(101.07);
    EXPECT_NEAR(graph->rendererAlpha(), 0.25, 1e-9) << "fade of a loaded tree";
    frameAt(102);

    graph->navigate(at("docs")); // zoom in: the old picture fades over 0.28 s, linearly
    frameAt(102.07);
    EXPECT_NEAR(labelAlpha(), 0.75, 1e-9) << "zoom in, first phase";
    frameAt(102.28); // the growth starts: 0.14 s at speed 2, eased
    frameAt(102.315);
    EXPECT_NEAR(labelAlpha(), 0.125, 1e-9) << "zoom in, second phase";
    frameAt(103);

    graph->navigate(*controller->rootFile()); // zoom out: 0.14 s eased, then a 0.28 s fade
    frameAt(103.035);
    EXPECT_NEAR(labelAlpha(), 0.875, 1e-9) << "zoom out, first phase";
    frameAt(103.14);
    frameAt(103.21);
    EXPECT_NEAR(graph->rendererAlpha(), 0.25, 1e-9) << "zoom out, second phase";
    frameAt(104);

    graph->changeSettings([](Settings& next) { next.graphType = GraphType::treeMap; });
    frameAt(104.07);
    EXPECT_NEAR(graph->rendererAlpha(), 0.25, 1e-9) << "fade to another graph type";
}

// The pointer never makes the root the active file: over the centre of the root's pie chart
// nothing is active, over the centre of a folder's the folder is.
// Another controller's tree takes the place of the one shown: nothing of the old tree is kept,
// so that it can go with its controller (the history once kept its folders).
TEST_F(GraphTest, AnotherTreeLeavesNothingOfTheOldOneBehind) {
    frameAt(101);
    graph->navigate(at("music"));
    frameAt(102);
    graph->navigate(at("music/deep"));
    frameAt(103);
    graph->setClickedFile(&at("music/deep/d"));
    ASSERT_TRUE(graph->canGoBack());
    auto other = FileController::create("/snapshots/other.fssnapshot",
                                        dir("", dir("x", file("y", 10)), file("z", 5)));
    graph->setFileController(other);
    controller = other; // the old controller and its tree go
    MainQueue::shared().runPending();
    EXPECT_EQ(graph->file(), other->rootFile());
    EXPECT_FALSE(graph->canGoBack());
    EXPECT_EQ(graph->clickedFile(), nullptr);
    EXPECT_EQ(graph->activeFile(), nullptr);
    graph->goBack();
    frameAt(104);
    graph->navigate(at("x"));
    frameAt(105);
    EXPECT_EQ(graph->file(), &at("x"));
    EXPECT_TRUE(graph->canGoBack());
}

TEST_F(GraphTest, TheRootNeverBecomesActive) {
    frameAt(101);
    graph->pointerLocation = {0, 0};
    graph->updateActiveFileFromPointer();
    EXPECT_EQ(graph->activeFile(), nullptr);
    graph->navigate(at("music"));
    frameAt(102);
    frameAt(103);
    ASSERT_FALSE(graph->fileTransitionType());
    graph->pointerLocation = {1, 1};
    graph->updateActiveFileFromPointer();
    EXPECT_EQ(graph->activeFile(), &at("music"));
}

// Between two trees of a sequence the graph shows the folder at the same path in the tree it
// is heading to, and says where it stands; at a tree it shows that tree alone.
TEST_F(GraphTest, AFileSequenceShowsTheFolderAtTheSamePathInEachTree) {
    frameAt(101);
    graph->navigate(at("music"));
    frameAt(102);
    frameAt(103);
    auto later = dir("", dir("music", file("c", 9000)), file("e", 500));
    Directory* first = controller->rootFile();
    graph->setFileSequence({first, later.get()}, 0, 0.5);
    ASSERT_TRUE(graph->fileSequence());
    EXPECT_EQ(graph->fileSequence()->index, 0u);
    EXPECT_EQ(graph->fileSequence()->progress, 0.5);
    EXPECT_EQ(graph->file(), later->fileAtPath("music"));
    graph->setFileSequence({first, later.get()}, 0, 0.0);
    EXPECT_FALSE(graph->fileSequence());
    EXPECT_EQ(graph->file(), &at("music"));
}

// Every setting changed saves the settings once, reaches the layout, and starts the transition
// that setting calls for: a rearrangement for geometry, a recolouring for colours, none for the
// merge threshold (drawn again at once) and the animation speed.
TEST_F(GraphTest, EverySettingSavesReachesTheLayoutAndStartsItsTransition) {
    graph->changeSettings([](Settings& next) { next.graphType = GraphType::treeMap; });
    frameAt(101);
    auto* map = dynamic_cast<DrawTreeMap*>(graph->fileDraw());
    ASSERT_NE(map, nullptr);
    enum class Then { rearrange, recolour, nothing };
    struct Case {
        const char* what;
        std::function<void()> set;
        std::function<bool()> applied;
        Then then;
    };
    const Case cases[] = {
        {"size mode",
         [&] {
             graph->changeSettings(
                 [](Settings& next) { next.sizeMode = SizeMode::allocatedFileSize; });
         },
         [&] { return map->sizeMode == SizeMode::allocatedFileSize; }, Then::rearrange},
        {"colour mode",
         [&] {
             graph->changeSettings(
                 [](Settings& next) { next.colorMode = ColorMode::modificationDate; });
         },
         [&] { return map->colorMode == ColorMode::modificationDate; }, Then::recolour},
        {"layout",
         [&] {
             graph->changeSettings(
                 [](Settings& next) { next.treeMapLayout = TreeMapLayout::stack; });
         },
         [&] { return map->layout == TreeMapLayout::stack; }, Then::rearrange},
        {"border",
         [&] { graph->changeSettings([](Settings& next) { next.directoryBorderRatio = 0.1; }); },
         [&] { return map->directoryBorderRatio == 0.1; }, Then::rearrange},
        {"keep aspect",
         [&] {
             graph->changeSettings([](Settings& next) { next.keepAspectRatioDuringZoom = false; });
         },
         [&] { return !map->keepAspectRatioDuringZoom && !settings.keepAspectRatioDuringZoom; },
         Then::rearrange},
        {"bottom edge",
         [&] {
             graph->changeSettings([](Settings& next) { next.beginLayoutOnBottomEdge = true; });
         },
         [&] { return map->beginLayoutOnBottomEdge && settings.beginLayoutOnBottomEdge; },
         Then::rearrange},
        {"volume space",
         [&] {
             graph->changeSettings([](Settings& next) { next.showVolumeAvailableSpace = true; });
         },
         [&] { return settings.showVolumeAvailableSpace; }, Then::rearrange},
        {"levels", [&] { graph->changeSettings([](Settings& next) { next.graphLevels = 12; }); },
         [&] { return settings.graphLevels == 12; }, Then::rearrange},
        {"merge threshold",
         [&] { graph->changeSettings([](Settings& next) { next.mergeThreshold = 4; }); },
         [&] { return map->mergeThreshold == 4; }, Then::nothing},
        {"animation speed",
         [&] { graph->changeSettings([](Settings& next) { next.animationSpeed = 3; }); },
         [&] { return settings.animationSpeed == 3; }, Then::nothing},
        {"saved on request", [&] { graph->saveSettings(); }, [] { return true; }, Then::nothing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = saves;
        c.set();
        EXPECT_EQ(saves, before + 1);
        EXPECT_TRUE(c.applied());
        const auto type = graph->fileTransitionType();
        if (c.then == Then::nothing) {
            EXPECT_FALSE(type);
        } else {
            ASSERT_TRUE(type && std::holds_alternative<Graph::Display>(*type));
            const auto& display = std::get<Graph::Display>(*type).type;
            EXPECT_EQ(std::holds_alternative<DrawTransition::Rearrange>(display),
                      c.then == Then::rearrange);
            EXPECT_EQ(std::holds_alternative<DrawTransition::UpdateColor>(display),
                      c.then == Then::recolour);
        }
        frameAt(now + 5);
        EXPECT_FALSE(graph->fileTransitionType());
    }
}

// Settings changed together are saved once and shown with the transition the most telling of
// them calls for; settings given back unchanged change nothing.
TEST_F(GraphTest, SettingsChangedTogetherAreSavedOnceWithOneTransition) {
    graph->changeSettings([](Settings& next) { next.graphType = GraphType::treeMap; });
    frameAt(101);
    auto* map = dynamic_cast<DrawTreeMap*>(graph->fileDraw());
    ASSERT_NE(map, nullptr);
    int before = saves;
    graph->changeSettings([](Settings& next) {
        next.colorMode = ColorMode::creationDate;
        next.treeMapLayout = TreeMapLayout::snake;
        next.mergeThreshold = 3;
    });
    EXPECT_EQ(saves, before + 1);
    EXPECT_EQ(map->colorMode, ColorMode::creationDate);
    EXPECT_EQ(map->layout, TreeMapLayout::snake);
    EXPECT_EQ(map->mergeThreshold, 3);
    const auto type = graph->fileTransitionType();
    ASSERT_TRUE(type && std::holds_alternative<Graph::Display>(*type));
    EXPECT_TRUE(
        std::holds_alternative<DrawTransition::Rearrange>(std::get<Graph::Display>(*type).type));

    frameAt(105);
    before = saves;
    graph->applySettings(settings);
    EXPECT_EQ(saves, before);
    EXPECT_FALSE(graph->fileTransitionType());
}

} // namespace
} // namespace tessera
