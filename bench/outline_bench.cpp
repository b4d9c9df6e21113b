// The outline over big trees, in a real window: the generated million-entry tree with one more
// folder of 100,000 files beside it. Measures the first paint of the outline, expanding the
// wide folder (rows listed and painted), the memory that takes, and, over a real folder on
// disk followed live, the longest time the main thread stalls while 10,000 files are created
// in an expanded folder (a 1 ms timer's longest gap).
//
//   xvfb-run -a -s '-screen 0 1920x1200x24' bench_outline [entries]
#include "TreeShape.h"
#include "app/MainQueuePump.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "model/Directory.h"
#include "platform/MainQueue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace tessera;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmRSS:")) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

void settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The longest gap between the ticks of a 1 ms timer while `done` is false.
double longestStall(const std::function<bool()>& done, int timeoutMilliseconds) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed();
    qint64 worst = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    tick.start();
    while (!done() && clock.elapsed() < timeoutMilliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return static_cast<double>(worst);
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    QApplication application(argc, argv);
    MainQueuePump pump(MainQueue::shared());

    // The generated tree with a wide folder beside it, shown as a snapshot's tree.
    auto generated = bench::generateHomeTree(entries, 7);
    std::vector<FilePtr> wideFiles;
    const Date when = Date::fromUnixSeconds(1'650'000'000);
    for (int i = 0; i < 100'000; ++i)
        wideFiles.push_back(File::create("file-" + std::to_string(i), 1000 + i, 4096, when, when));
    std::vector<FilePtr> top;
    top.push_back(FilePtr(generated.root.release()));
    top.push_back(Directory::create("wide", when, when, std::move(wideFiles)));
    auto controller = FileController::create("/bench/tree.fssnapshot",
                                             Directory::create("", when, when, std::move(top)));
    std::printf("tree: %zu entries + a folder of 100,000 files\n", generated.entries);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    OutlineViewController outline([] { return 0; }, &window);
    layout->addWidget(outline.widget());
    window.resize(1200, 800);
    const long before = residentKilobytes();
    auto start = Clock::now();
    outline.setFileController(controller);
    window.show();
    outline.view()->viewport()->repaint();
    settle();
    std::printf("first paint of the outline: %.1f ms\n", since(start));

    const Directory* rootFile = controller->rootFile();
    const File* wide =
        rootFile->child(0)->path() == "wide" ? rootFile->child(0) : rootFile->child(1);
    const long listedBefore = residentKilobytes();
    start = Clock::now();
    outline.view()->expand(outline.model().indexOf(*wide));
    outline.view()->viewport()->repaint();
    std::printf("expanding the folder of 100,000 files: %.1f ms\n", since(start));
    settle();
    std::printf("memory: %ld KB for the first rows, %ld KB more for 100,000 listed rows "
                "(%.1f bytes a row)\n",
                listedBefore - before, residentKilobytes() - listedBefore,
                (residentKilobytes() - listedBefore) * 1024.0 / 100'000);

    // Live: 10,000 files created in an expanded folder of a real folder on disk.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tessera-outline-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "incoming");
    std::ofstream(folder / "incoming" / "first") << "x"; // so that it can be expanded
    auto live = FileController::create(folder.string());
    Favorite favorite(folder.string(), false);
    favorite.setFileController(live); // scans, then follows the folder
    const bool loaded = MainQueue::shared().runUntil([&] { return live->rootFile() != nullptr; },
                                                     std::chrono::seconds(10));
    if (!loaded) return 1;
    outline.setFileController(live);
    settle();
    const Directory* incoming = live->rootFile()->child(0)->asDirectory();
    outline.view()->expand(outline.model().indexOf(*incoming));
    settle();
    std::thread writer([&] {
        for (int i = 0; i < 10'000; ++i)
            std::ofstream(folder / "incoming" / ("new-" + std::to_string(i))) << "x";
    });
    start = Clock::now();
    const double stall = longestStall(
        [&] { return outline.model().rowCount(outline.model().indexOf(*incoming)) == 10'001; },
        60'000);
    writer.join();
    std::printf("10,000 files created in an expanded folder: all rows in after %.0f ms, "
                "longest main-thread stall %.0f ms\n",
                since(start), stall);
    outline.setFileController(nullptr);
    favorite.setFileController(nullptr);
    live.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
