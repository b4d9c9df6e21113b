// Frames of the generated million-entry tree drawn in a real 1600 × 1000 OpenGL view (on machines
// without a GPU: Mesa's software OpenGL under xvfb-run), pie chart and tree map: a zoom into the
// largest folder, a rearrangement (the measure changed from size to allocated size) and a
// recolouring (colour wheel to modification dates). For each kind of frame: its whole time (the
// graph's layout, the vertex upload, rasterising and composing the window, finished with
// glFinish), how many take over 16 ms, the process's CPU time, and how long starting the
// transition took (the click or settings change, before the first frame); then, for the zoom, how
// much of it is the engine (the same frames laid out without drawing) and how long an unchanged
// picture takes to draw again (rasterising alone, nothing uploaded), with and without the files'
// names, and with the tree map's cushions. After each transition come the frames of its settling,
// while the names of the picture it reached are made and fade in. The last line gives the tree
// map's median against the pie chart's, kind by kind.
//
//   xvfb-run -a -s '-screen 0 1920x1200x24' bench_app_frames [entries]
//   (TESSERA_BENCH_GRAPH=pie or treemap: one of the two views alone; TESSERA_BENCH_SLOW=MS: a
//   line for each frame of a transition over MS ms, with the time it ended on the monotonic
//   clock, which bench/frame_stalls.sh looks up in the scheduler's record)
#include "EngineOnlyView.h"
#include "TreeShape.h"
#include "app/OpenGLProbe.h"
#include "app/graphview/GraphViewController.h"
#include "controller/FileController.h"
#include "graph/Graph.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWindow>
#include <QSurfaceFormat>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

using namespace tessera;

namespace {

using Clock = std::chrono::steady_clock;

// How long the last transition took to start (the click or the settings change, before its first
// frame): where the layout of the picture it goes to is made.
double lastStartMs = 0;
// The frames after the last transition's while its picture settles: what the picture at rest
// carries (the names) is made and fades in.
std::vector<double> lastSettling;
// The transition being timed, for the lines about slow frames.
std::string timedKind;

// With TESSERA_BENCH_SLOW=MS, notes a frame of the transition being timed that took over MS ms.
void noteIfSlow(std::size_t frame, double ms, Clock::time_point end) {
    static const char* const slow = std::getenv("TESSERA_BENCH_SLOW");
    if (slow == nullptr || ms <= std::atof(slow)) return;
    std::printf("slow frame: %s %zu, %.2f ms, ended at %.6f s\n", timedKind.c_str(), frame, ms,
                std::chrono::duration<double>(end.time_since_epoch()).count());
}

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double cpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Summary {
    double median = 0;
    double worst = 0;
    std::size_t worstFrame = 0; // its position, from 0
};

Summary summarise(std::vector<double> values) {
    const auto worst = std::max_element(values.begin(), values.end());
    const auto worstFrame = static_cast<std::size_t>(worst - values.begin());
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back(), worstFrame};
}

// One frame drawn now, to the end: the view paints and swaps, and the GPU finishes.
void drawFrameNow(GraphSurface& surface) {
    auto* window = dynamic_cast<QOpenGLWindow*>(surface.eventWindow());
    if (window == nullptr) {
        surface.widget()->repaint();
        return;
    }
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &request);
    window->makeCurrent();
    window->context()->functions()->glFinish();
    window->doneCurrent();
}

// Draws the frames of the transition that has just begun, 10 ms apart on the graph's clock from
// `begin`, at most `most`, timing each (and the process's CPU time, when `cpu` is given);
// `beforeEach` runs before each, untimed. Then those of the settling, into lastSettling.
template <typename DrawOne, typename Before>
std::vector<double> timeTransition(Graph& graph, double& clock, int most, DrawOne&& draw,
                                   Before&& beforeEach, std::vector<double>* cpu) {
    const double begin = clock;
    std::vector<double> frames;
    for (int i = 0; i <= most && (i == 0 || graph.fileTransitionType()); ++i) {
        clock = begin + i * 0.01;
        beforeEach();
        const double cpuBefore = cpuMilliseconds();
        const auto start = Clock::now();
        draw();
        const auto end = Clock::now();
        frames.push_back(milliseconds(end - start));
        noteIfSlow(frames.size() - 1, frames.back(), end);
        if (cpu != nullptr) cpu->push_back(cpuMilliseconds() - cpuBefore);
    }
    lastSettling.clear();
    for (int i = 1; i <= 100 && graph.restingAlpha() < 1; ++i) {
        clock += 0.01;
        beforeEach();
        const auto start = Clock::now();
        draw();
        lastSettling.push_back(milliseconds(Clock::now() - start));
    }
    return frames;
}

// The frames of a zoom into the root's largest folder: both phases (the old picture fading out,
// then the new one growing from the folder's place, its picture at rest stretched), with the
// pointer over the picture so that the highlight and bubble are drawn too.
template <typename DrawOne>
std::vector<double> zoomFrames(Graph& graph, double& clock, DrawOne&& draw,
                               std::vector<double>* cpu) {
    Directory* root = graph.fileController()->rootFile();
    File* target = nullptr;
    for (File* child : root->contents())
        if (child->isDirectory()) {
            target = child;
            break;
        }
    if (target == nullptr) return {};
    graph.navigate(*root);
    graph.finishTransition();
    draw();
    const auto start = Clock::now();
    graph.navigate(*target);
    lastStartMs = milliseconds(Clock::now() - start);
    return timeTransition(
        graph, clock, 100, draw,
        [&graph] {
            graph.pointerLocation = {100, 50};
            graph.updateActiveFileFromPointer();
        },
        cpu);
}

// The frames of the transition that a settings change (`edit`) starts.
template <typename DrawOne, typename Edit>
std::vector<double> settingsFrames(Graph& graph, double& clock, DrawOne&& draw, Edit&& edit,
                                   std::vector<double>* cpu) {
    graph.finishTransition();
    draw();
    const auto start = Clock::now();
    graph.changeSettings(edit);
    lastStartMs = milliseconds(Clock::now() - start);
    return timeTransition(
        graph, clock, 150, draw, [] {}, cpu);
}

std::size_t overSixteen(const std::vector<double>& frames) {
    return static_cast<std::size_t>(
        std::count_if(frames.begin(), frames.end(), [](double ms) { return ms > 16; }));
}

void printEachFrame(const std::vector<double>& frames) {
    if (std::getenv("TESSERA_BENCH_EACH_FRAME") == nullptr) return;
    std::printf("   ");
    for (const double ms : frames)
        std::printf(" %.1f", ms);
    std::printf("\n");
}

void printFrames(const char* kind, const std::vector<double>& frames,
                 const std::vector<double>& cpu, double start,
                 const std::vector<double>& settling) {
    const Summary whole = summarise(frames);
    std::printf("  %-10s %3zu frames %8.2f ms median, %8.2f worst (frame %zu), %3zu over 16 ms, "
                "CPU %.2f ms; start %.1f ms\n",
                kind, frames.size(), whole.median, whole.worst, whole.worstFrame,
                overSixteen(frames), summarise(cpu).median, start);
    printEachFrame(frames);
    if (settling.empty()) return;
    const Summary after = summarise(settling);
    std::printf("    then %3zu settling %6.2f ms median, %8.2f worst (frame %zu), %3zu over 16 ms "
                "(names made, fading in)\n",
                settling.size(), after.median, after.worst, after.worstFrame,
                overSixteen(settling));
    printEachFrame(settling);
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    QSurfaceFormat::setDefaultFormat(graphSurfaceFormat());
    QApplication application(argc, argv);
    const OpenGLProbeResult probe = probeOpenGL();
    std::printf("OpenGL: %s\n", probe.usable ? probe.detail.c_str() : "not available");
    if (!probe.usable) return 1;

    double clock = 1;
    auto previousClock = Animation::setClock([&clock] { return clock; });
    const QtLabelTypesetter typesetter;
    std::vector<std::array<double, 3>> medians; // zoom, rearrange, recolour; pie chart first
    // TESSERA_BENCH_GRAPH=pie or treemap draws one of the two alone (to profile it).
    const char* only = std::getenv("TESSERA_BENCH_GRAPH");
    for (const GraphType type : {GraphType::pieChart, GraphType::treeMap}) {
        if (only != nullptr &&
            std::string_view(only) != (type == GraphType::pieChart ? "pie" : "treemap"))
            continue;
        Settings settings;
        settings.graphType = type;
        auto tree = bench::generateHomeTree(entries, 7);
        const std::size_t entryCount = tree.entries;
        auto controller =
            FileController::create("/bench/tree.fssnapshot", DirectoryPtr(tree.root.release()));
        QWidget window;
        GraphViewController viewController(settings, {}, typesetter, {}, &window);
        QWidget* view = viewController.view();
        view->setFixedSize(1600, 1000);
        window.setFixedSize(1600, 1000);
        window.show();
        while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed() ||
               view->width() != 1600)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        Graph& graph = viewController.graph();
        graph.setFileController(controller);
        for (int i = 0; i < 5; ++i) {
            clock += 1;
            drawFrameNow(viewController.surface());
        }
        const std::string graphName = type == GraphType::pieChart ? "pie chart" : "tree map";
        std::vector<double> cpu;
        timedKind = graphName + " zoom";
        const auto frames = zoomFrames(
            graph, clock, [&] { drawFrameNow(viewController.surface()); }, &cpu);
        const double zoomStart = lastStartMs;
        const std::vector<double> zoomSettling = lastSettling;
        const auto drawNow = [&] { drawFrameNow(viewController.surface()); };
        graph.navigate(*controller->rootFile());
        std::vector<double> rearrangeCpu;
        timedKind = graphName + " rearrange";
        const auto rearranging = settingsFrames(
            graph, clock, drawNow,
            [](Settings& next) { next.sizeMode = SizeMode::allocatedFileSize; }, &rearrangeCpu);
        const double rearrangeStart = lastStartMs;
        const std::vector<double> rearrangeSettling = lastSettling;
        std::vector<double> recolourCpu;
        timedKind = graphName + " recolour";
        const auto recolouring = settingsFrames(
            graph, clock, drawNow,
            [](Settings& next) { next.colorMode = ColorMode::modificationDate; }, &recolourCpu);
        const double recolourStart = lastStartMs;
        const std::vector<double> recolourSettling = lastSettling;
        medians.push_back({summarise(frames).median, summarise(rearranging).median,
                           summarise(recolouring).median});

        // The same picture drawn again: nothing laid out or uploaded; then without the files'
        // names, and (tree map) with cushions: what they add to such a frame.
        const auto unchangedFrames = [&] {
            std::vector<double> times;
            for (int i = 0; i < 10; ++i) {
                const auto start = Clock::now();
                graph.setNeedsDisplay();
                drawFrameNow(viewController.surface());
                times.push_back(milliseconds(Clock::now() - start));
            }
            return times;
        };
        const std::vector<double> unchanged = unchangedFrames();
        graph.changeSettings([](Settings& next) { next.showNames = false; });
        graph.finishTransition();
        clock += 1;
        drawFrameNow(viewController.surface());
        const double withoutNames = summarise(unchangedFrames()).median;
        double withCushions = 0;
        if (type == GraphType::treeMap) {
            graph.changeSettings([](Settings& next) { next.cushions = true; });
            graph.finishTransition();
            clock += 1;
            drawFrameNow(viewController.surface());
            clock += 1;
            withCushions = summarise(unchangedFrames()).median;
        }
        // An empty view: clearing and composing the window alone.
        graph.setFileController(nullptr);
        const std::vector<double> empty = unchangedFrames();

        // The engine's share: the same zoom laid out by a graph whose renderers only collect.
        auto engineTree = bench::generateHomeTree(entries, 7);
        auto engineController = FileController::create("/bench/tree.fssnapshot",
                                                       DirectoryPtr(engineTree.root.release()));
        bench::EngineOnlyView engineView;
        Graph engineGraph(settings);
        engineGraph.setView(&engineView);
        engineGraph.setUp();
        engineGraph.setFileController(engineController);
        clock += 1;
        engineGraph.drawFrame();
        timedKind = graphName + " zoom (engine alone)";
        const auto engine = zoomFrames(
            engineGraph, clock, [&] { engineGraph.drawFrame(); }, nullptr);
        engineGraph.setFileController(nullptr);

        const Summary whole = summarise(frames);
        const Summary process = summarise(cpu);
        const Summary layout = summarise(engine);
        const Summary again = summarise(unchanged);
        const Summary clearing = summarise(empty);
        std::printf("%s of %zu entries in a 1600 x 1000 OpenGL window, %zu zoom frames:\n",
                    graphName.c_str(), entryCount, frames.size());
        std::printf("  whole frame        %8.2f ms median, %8.2f worst (%.0f frames/s)\n",
                    whole.median, whole.worst, 1000.0 / whole.median);
        std::printf("  frames over 16 ms  %8zu of %zu\n", overSixteen(frames), frames.size());
        std::printf("  CPU time per frame %8.2f ms median (all threads of the process)\n",
                    process.median);
        std::printf("  engine (layout)    %8.2f ms median, %8.2f worst\n", layout.median,
                    layout.worst);
        std::printf("  unchanged picture  %8.2f ms median (rasterising and composing only)\n",
                    again.median);
        std::printf("  empty view         %8.2f ms median (clearing and composing the window)\n",
                    clearing.median);
        std::printf("  unchanged, no names %7.2f ms median\n", withoutNames);
        if (type == GraphType::treeMap)
            std::printf("  unchanged, cushions %7.2f ms median (without names)\n", withCushions);
        std::printf("  upload and rest    %8.2f ms (whole - engine - unchanged)\n",
                    std::max(0.0, whole.median - layout.median - again.median));
        printFrames("zoom", frames, cpu, zoomStart, zoomSettling);
        if (std::getenv("TESSERA_BENCH_EACH_FRAME") != nullptr) {
            std::printf("  the zoom's engine, frame by frame:\n   ");
            for (const double ms : engine)
                std::printf(" %.1f", ms);
            std::printf("\n");
        }
        printFrames("rearrange", rearranging, rearrangeCpu, rearrangeStart, rearrangeSettling);
        printFrames("recolour", recolouring, recolourCpu, recolourStart, recolourSettling);
    }
    if (medians.size() == 2)
        std::printf("tree map / pie chart, medians: zoom %.2f, rearrange %.2f, recolour %.2f\n",
                    medians[1][0] / medians[0][0], medians[1][1] / medians[0][1],
                    medians[1][2] / medians[0][2]);
    Animation::setClock(std::move(previousClock));
    return 0;
}
