// A live window on a folder, from the scan's start to its finished tree in the picture, with and
// without the picture of the scan drawn while it runs (in a real 1600 × 1000 OpenGL view, on
// Mesa's software OpenGL under xvfb-run where there is no GPU). For each: the time to the first
// picture of a tree (the scan's or the finished one's), the time to the finished tree drawn, the
// process's CPU time until then (all threads) and how many frames were drawn meanwhile. Rounds
// alternate the two, so that the cache treats them alike; best and median.
//
//   xvfb-run -a -s '-screen 0 1920x1200x24' bench_scan_picture FOLDER [rounds] [treemap]
#include "app/MainQueuePump.h"
#include "app/OpenGLProbe.h"
#include "app/graphview/GraphViewController.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "graph/Graph.h"
#include "platform/MainQueue.h"
#include "render/QtLabelTypesetter.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace tessera;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Run {
    double firstPicture = -1;
    double finished = -1;
    double cpu = 0; // the process's CPU time, all threads, until the finished tree
    std::uint64_t frames = 0;
};

double cpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

Run scanInWindow(const std::string& path, Graph& graph, bool withPicture) {
    Run run;
    const auto start = Clock::now();
    const double cpuStart = cpuMilliseconds();
    Favorite favorite(path, false);
    auto controller = FileController::create(path);
    controller->setWantsScanPreview(withPicture);
    graph.setFileController(controller);
    favorite.setFileController(controller);
    const std::uint64_t framesBefore = graph.framesDrawn();
    std::uint64_t seen = framesBefore;
    while (run.finished < 0 && millisecondsSince(start) < 600'000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (graph.framesDrawn() == seen) continue;
        seen = graph.framesDrawn();
        if (graph.file() == nullptr) continue;
        if (run.firstPicture < 0) run.firstPicture = millisecondsSince(start);
        if (controller->rootFile() != nullptr && !controller->showsScanPreview()) {
            run.finished = millisecondsSince(start);
            run.cpu = cpuMilliseconds() - cpuStart;
        }
    }
    run.frames = graph.framesDrawn() - framesBefore;
    graph.setFileController(nullptr);
    favorite.setFileController(nullptr);
    MainQueue::shared().runPending();
    return run;
}

void report(const char* name, std::vector<Run> runs) {
    const auto summary = [&](auto field) {
        std::vector<double> values;
        for (const Run& run : runs)
            values.push_back(static_cast<double>(field(run)));
        std::sort(values.begin(), values.end());
        return std::pair{values.front(), values[values.size() / 2]};
    };
    const auto first = summary([](const Run& run) { return run.firstPicture; });
    const auto done = summary([](const Run& run) { return run.finished; });
    const auto frames = summary([](const Run& run) { return run.frames; });
    const auto cpu = summary([](const Run& run) { return run.cpu; });
    std::printf("%-11s first picture %5.0f ms best %5.0f median; finished %5.0f best %5.0f "
                "median; CPU %5.0f ms best %5.0f median; %3.0f frames\n",
                name, first.first, first.second, done.first, done.second, cpu.first, cpu.second,
                frames.second);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_scan_picture FOLDER [rounds] [treemap]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const bool treeMap = argc > 3 && std::string(argv[3]) == "treemap";
    QSurfaceFormat::setDefaultFormat(graphSurfaceFormat());
    QApplication application(argc, argv);
    MainQueuePump pump(MainQueue::shared());
    const OpenGLProbeResult probe = probeOpenGL();
    std::printf("OpenGL: %s\n", probe.usable ? probe.detail.c_str() : "not available");
    if (!probe.usable) return 1;

    Settings settings;
    settings.graphType = treeMap ? GraphType::treeMap : GraphType::pieChart;
    const QtLabelTypesetter typesetter;
    QWidget window;
    GraphViewController viewController(settings, {}, typesetter, {}, &window);
    viewController.view()->setFixedSize(1600, 1000);
    window.setFixedSize(1600, 1000);
    window.show();
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    Graph& graph = viewController.graph();

    scanInWindow(path, graph, false); // warms the cache
    std::vector<Run> withPicture, without;
    for (int round = 0; round < rounds; ++round) {
        withPicture.push_back(scanInWindow(path, graph, true));
        without.push_back(scanInWindow(path, graph, false));
        if (withPicture.back().finished < 0 || without.back().finished < 0) {
            std::fprintf(stderr, "a run failed\n");
            return 1;
        }
    }
    std::printf("%s of %s in a 1600 x 1000 window, %d rounds:\n",
                treeMap ? "tree map" : "pie chart", path.c_str(), rounds);
    report("picture", withPicture);
    report("no picture", without);
    return 0;
}
