// The two back ends of the graph view: which one a window gets, that both draw the same frame,
// and that a broken shader is reported without bringing the window down.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "app/defaults/UserDefaults.h"
#include "controller/FileController.h"
#include "draw/Animation.h"
#include "model/Directory.h"
#include "support/TemporaryDirectory.h"

#include <QFile>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace tessera::testing {
namespace {

// Standard error written to a file while it lives, and read back.
class CapturedStandardError {
public:
    CapturedStandardError() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int file = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~CapturedStandardError() { restore(); }
    std::string text() {
        restore();
        QFile file(QString::fromStdString(path_));
        file.open(QIODevice::ReadOnly);
        return file.readAll().toStdString();
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    TemporaryDirectory folder_;
    std::string path_ = folder_ / "stderr";
    int saved_ = -1;
};

// How many of the sampled pixels differ by more than a little (edges are anti-aliased
// differently: the CPU draws with 2 × 2 samples, OpenGL with one).
double differingShare(const QImage& first, const QImage& second) {
    int differing = 0;
    int sampled = 0;
    for (int y = 2; y < first.height() - 2; y += 3) {
        for (int x = 2; x < first.width() - 2; x += 3) {
            const QColor a = first.pixelColor(x, y);
            const QColor b = second.pixelColor(x, y);
            ++sampled;
            if (std::abs(a.red() - b.red()) > 40 || std::abs(a.green() - b.green()) > 40 ||
                std::abs(a.blue() - b.blue()) > 40)
                ++differing;
        }
    }
    return static_cast<double>(differing) / sampled;
}

class GraphBackEndTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        folder = std::make_unique<TemporaryDirectory>();
        writeSampleTree(*folder);
    }
    void cleanupTestCase() { folder.reset(); }

    // A tree map large enough to go to the GPU as one image drawn on the CPU
    // (AxisAlignedRaster.h) looks as the software view draws it: at rest, halfway through a
    // rearrangement and at its last frame, halfway through a recolouring, and through both phases
    // of a zoom in and out (the folder's picture at rest, moved and stretched as a whole, the
    // picture left fading as a whole).
    void aLargeTreeMapLooksTheSameInBothBackEnds() {
        TemporaryDirectory large;
        writeLargeTree(large);
        struct Moment {
            const char* name;
            std::function<void(DocumentWindow&)> start; // none: the picture at rest
            std::vector<double> steps; // seconds the clock moves before each frame, the last shown
            // The share of pixels that may differ. Halfway through a rearrangement the moving
            // rectangles' outlines lie on one another: blended by coverage (as the GPU blends
            // smoothed lines) two half-covering outlines darken a pixel more than the software
            // view's samples, which two coinciding outlines cover once.
            double tolerance = 0.02;
        };
        auto zoomIntoBig = [](DocumentWindow& window) {
            Graph& graph = window.graph();
            graph.navigate(*graph.file()->asDirectory()->fileAtPath("big"));
        };
        auto zoomOut = [](DocumentWindow& window) {
            Graph& graph = window.graph();
            graph.setFile(*graph.file()->parent());
        };
        const double zoom = Graph::kSetFileDuration;
        const std::vector<Moment> moments{
            {"rest", {}, {0}},
            {"zoom", zoomIntoBig, {zoom / 2}},
            {"rearrange",
             [](DocumentWindow& window) {
                 window.graph().changeSettings(
                     [](Settings& next) { next.sizeMode = SizeMode::allocatedFileSize; });
             },
             {Graph::kChangeDisplayDuration / 2},
             0.035},
            // The last frame of a rearrangement, whose picture the OpenGL view makes when the
            // rearrangement starts.
            {"rearranged",
             [](DocumentWindow& window) {
                 window.graph().changeSettings(
                     [](Settings& next) { next.sizeMode = SizeMode::fileSize; });
             },
             {Graph::kChangeDisplayDuration / 2, Graph::kChangeDisplayDuration}},
            {"recolour",
             [](DocumentWindow& window) {
                 window.graph().changeSettings(
                     [](Settings& next) { next.colorMode = ColorMode::modificationDate; });
             },
             {Graph::kChangeDisplayDuration / 2}},
            {"zoom-out-shrinking", zoomOut, {zoom / 2}},
            {"zoom-growing", zoomIntoBig, {zoom, zoom / 2}},
        };
        std::vector<QImage> frames[2];
        int index = 0;
        for (const bool software : {false, true}) {
            AppHarness harness(software);
            DocumentWindow* window = harness.open(large.path());
            QVERIFY(window != nullptr);
            window->resize(900, 700);
            window->commands().action(command::choice(GraphType::treeMap))->trigger();
            QTRY_COMPARE(window->size(), QSize(900, 700));
            QVERIFY(waitUntilAtRest(window->graph()));
            QVERIFY(window->graph().fileDraw()->renderer().vertexCount() > 20'000);
            for (const Moment& moment : moments) {
                // The graph's clock stands still halfway through the transition.
                double now = Animation::now();
                Animation::Clock real = Animation::setClock([&now] { return now; });
                if (moment.start) moment.start(*window);
                for (const double step : moment.steps) {
                    now += step;
                    QVERIFY(waitForNextFrame(window->graph()));
                }
                frames[index].push_back(
                    window->graphViewController().surface().grabFrame().convertToFormat(
                        QImage::Format_RGB32));
                savePicture(frames[index].back(), std::string("treemap-large-") + moment.name +
                                                      (software ? "-software" : "-opengl"));
                Animation::setClock(std::move(real));
                QVERIFY(waitUntilAtRest(window->graph()));
            }
            window->close();
            ++index;
        }
        for (std::size_t i = 0; i < moments.size(); ++i) {
            QCOMPARE(frames[0][i].size(), frames[1][i].size());
            const double share = differingShare(frames[0][i], frames[1][i]);
            qInfo("%s: %.4f of the pixels differ", moments[i].name, share);
            QVERIFY2(share < moments[i].tolerance,
                     qPrintable(QStringLiteral("%1: %2").arg(moments[i].name).arg(share)));
        }
    }

    // The OpenGL view makes a rearrangement's frames over the background it clears the window
    // to, and copies them in: a palette changed while a frame stands must show its background
    // in the picture's gaps too, and the light one again after.
    void aTransitionFrameShowsTheBackgroundOfThePaletteNow() {
        TemporaryDirectory large;
        writeLargeTree(large);
        AppHarness harness;
        DocumentWindow* window = harness.open(large.path());
        QVERIFY(window != nullptr);
        QVERIFY(window->graphViewController().usesOpenGL());
        window->resize(900, 700);
        window->commands().action(command::choice(GraphType::treeMap))->trigger();
        QTRY_COMPARE(window->size(), QSize(900, 700));
        Graph& graph = window->graph();
        QVERIFY(waitUntilAtRest(graph));
        GraphSurface& surface = window->graphViewController().surface();
        // The view's corner: the first folder's at rest, a gap halfway through the
        // rearrangement, where rectangles have moved towards their centres.
        const auto corner = [&surface] { return surface.grabFrame().pixelColor(2, 2).red(); };
        double now = Animation::now();
        Animation::Clock real = Animation::setClock([&now] { return now; });
        graph.changeSettings([](Settings& next) { next.sizeMode = SizeMode::allocatedFileSize; });
        for (int frame = 0; frame < 2; ++frame) {
            now += Graph::kChangeDisplayDuration / 4;
            QVERIFY(waitForNextFrame(graph));
        }
        QVERIFY(graph.fileTransitionType().has_value());
        QCOMPARE(corner(), 237); // grey 0.93
        const QPalette light = QApplication::palette();
        QApplication::setPalette(darkPalette(light));
        QTRY_COMPARE(corner(), 51); // grey 0.2
        savePicture(surface.grabFrame(), "treemap-large-rearrange-dark");
        QApplication::setPalette(light);
        QTRY_COMPARE(corner(), 237);
        QVERIFY(graph.fileTransitionType().has_value()); // the clock stood still throughout
        Animation::setClock(std::move(real));
        QVERIFY(waitUntilAtRest(graph));
        savePicture(surface.grabFrame(),
                    "treemap-large-rearranged-at-rest"); // its names made ahead
        window->close();
    }

    void openGLAndSoftwareDrawTheSameFrame() {
        AppHarness gpu;
        AppHarness cpu(true);
        // The pie chart, the tree map, and the tree map's cushions (its names in all three).
        for (const int variant : {0, 1, 2}) {
            const bool treeMap = variant > 0;
            QImage frames[2];
            int index = 0;
            for (AppHarness* harness : {&gpu, &cpu}) {
                DocumentWindow* window = harness->open(folder->path());
                QVERIFY(window != nullptr);
                QCOMPARE(window->graphViewController().usesOpenGL(), harness == &gpu);
                window->resize(700, 560);
                if (treeMap)
                    window->commands().action(command::choice(GraphType::treeMap))->trigger();
                if (variant == 2) {
                    QVERIFY(waitUntilAtRest(window->graph()));
                    window->commands().refresh();
                    window->commands().action(command::toggleCushions)->trigger();
                }
                QTRY_COMPARE(window->size(), QSize(700, 560));
                QVERIFY(waitUntilAtRest(window->graph()));
                // Hovering shows the bubble in both.
                hover(window->graphViewController(),
                      pointOf(window->graphViewController(), "music"));
                QTRY_VERIFY2(
                    !window->graph().activeText().empty(),
                    qPrintable(QStringLiteral("%1 %2 active %3 file %4 pt %5,%6")
                                   .arg(treeMap)
                                   .arg(index)
                                   .arg(window->isActiveWindow())
                                   .arg(window->graph().activeFile() != nullptr)
                                   .arg(pointOf(window->graphViewController(), "music").x())
                                   .arg(pointOf(window->graphViewController(), "music").y())));
                QVERIFY(waitUntilHighlighted(window->graph()));
                frames[index] = window->graphViewController().surface().grabFrame().convertToFormat(
                    QImage::Format_RGB32);
                savePicture(frames[index], std::string(variant == 0   ? "pie-"
                                                       : variant == 1 ? "treemap-"
                                                                      : "cushions-") +
                                               (index == 0 ? "opengl" : "software"));
                if (variant == 2) {
                    QVERIFY(window->graph().showsCushions());
                    window->commands().action(command::toggleCushions)->trigger();
                }
                window->close();
                ++index;
            }
            QCOMPARE(frames[0].size(), frames[1].size());
            const double share = differingShare(frames[0], frames[1]);
            QVERIFY2(share < 0.02, qPrintable(QString::number(share)));
        }
    }

    void theUserDefaultOrAFailedProbeGivesTheSoftwareView() {
        {
            AppHarness harness(false, {{QStringLiteral("disableOpenGL"), true}});
            DocumentWindow* window = harness.open(folder->path());
            QVERIFY(window != nullptr);
            QVERIFY(!window->graphViewController().usesOpenGL());
            QVERIFY(!window->graph().mainText().empty());
        }
        AppHarness harness;
        GraphViewOptions options = harness.documents().graphViewOptions();
        options.probe = [] { return OpenGLProbeResult{false, "no OpenGL here"}; };
        harness.documents().setGraphViewOptions(options);
        DocumentWindow* window = harness.open(folder->path());
        QVERIFY(window != nullptr);
        QVERIFY(!window->graphViewController().usesOpenGL());
        const QImage frame = window->graphViewController().surface().grabFrame();
        const QColor pixel = frame.pixelColor(fillPointOf(window->graphViewController(), "docs"));
        QVERIFY(pixel.saturationF() > 0.3);
    }

    void aBrokenShaderIsReportedAndTheViewOnlyClears() {
        TemporaryDirectory shaders;
        const std::string broken = shaders / "broken.vsh";
        QFile file(QString::fromStdString(broken));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#version 330 core\nvoid main() { this is not GLSL }\n");
        file.close();
        AppHarness harness;
        GraphViewOptions options = harness.documents().graphViewOptions();
        options.shaders.vertexPath = broken;
        harness.documents().setGraphViewOptions(options);
        CapturedStandardError captured;
        // Without a program no frame is drawn, so the graph's transitions never end.
        DocumentWindow* window = harness.open(folder->path(), AppHarness::Wait::shown);
        QVERIFY(window != nullptr);
        const std::string printed = captured.text();
        QVERIFY2(printed.find("Shader compile log:\n") != std::string::npos, printed.c_str());
        QVERIFY2(printed.find("error") != std::string::npos, printed.c_str());
        QVERIFY(window->graphViewController().usesOpenGL());
        // Nothing but the background grey: no program, no picture.
        const QImage frame = window->graphViewController().surface().grabFrame();
        const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
        QCOMPARE(centre.red(), 237);
        QCOMPARE(centre.green(), 237);
    }

private:
    // Forty folders of 150 files: a tree map large enough to go to the GPU as one image drawn on
    // the CPU (AxisAlignedRaster.h).
    static void writeLargeTree(TemporaryDirectory& large) {
        for (int part = 0; part < 40; ++part)
            for (int file = 0; file < 150; ++file)
                large.writeFile("big/f" + std::to_string(part) + "/" + std::to_string(file),
                                static_cast<std::size_t>(1 + (part * 7 + file * 13) % 97) * 100);
        large.writeFile("small/a", 80'000);
        large.writeFile("small/b", 40'000);
    }

    std::unique_ptr<TemporaryDirectory> folder;
};

const RegisterAppTest<GraphBackEndTest> registered("GraphBackEndTest");

} // namespace
} // namespace tessera::testing

#include "GraphBackEndTest.moc"
