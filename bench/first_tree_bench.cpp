// How long a live window waits for its first tree, next to a plain scan of the same folder:
//  plain   the scan alone (what `tessera scan` does);
//  live    a file controller on the folder, from its creation to its tree in place: the scan
//          sets up the inotify watches as it opens each folder;
//  before  the watches set up over the whole tree first, then the scan: how the live tree
//          started before, for comparison.
// Rounds alternate the three, so that the cache treats them alike; the best and median count.
//
//   bench_first_tree FOLDER [rounds] [plain|live|before]   (the last, to profile one alone)
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "platform/InotifyWatcher.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tessera;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double plainScan(const std::string& path) {
    const auto start = Clock::now();
    ScanOperation scan(path, nullptr, false, {}, MainQueue::shared());
    const FilePtr root = scan.scan();
    return root ? millisecondsSince(start) : -1;
}

double liveController(const std::string& path) {
    const auto start = Clock::now();
    Favorite favorite(path, false);
    auto controller = FileController::create(path);
    favorite.setFileController(controller);
    const bool loaded = MainQueue::shared().runUntil(
        [&] { return controller->rootFile() != nullptr; }, std::chrono::seconds(300));
    const double elapsed = millisecondsSince(start);
    favorite.setFileController(nullptr);
    MainQueue::shared().runPending();
    return loaded ? elapsed : -1;
}

double watchesThenScan(const std::string& path) {
    const auto start = Clock::now();
    auto watcher = platform::InotifyWatcher::start(path, [](std::vector<platform::FileEvent>) {});
    if (!watcher) return -1;
    return plainScan(path) >= 0 ? millisecondsSince(start) : -1;
}

struct Mode {
    const char* name;
    double (*run)(const std::string&);
};

void report(const char* name, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-7s best %8.0f ms   median %8.0f ms\n", name, times.front(),
                times[times.size() / 2]);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_first_tree FOLDER [rounds] [plain|live|before]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string only = argc > 3 ? argv[3] : "";
    const std::vector<Mode> modes = {
        {"plain", plainScan}, {"live", liveController}, {"before", watchesThenScan}};
    if (!only.empty() && std::none_of(modes.begin(), modes.end(),
                                      [&](const Mode& mode) { return only == mode.name; })) {
        std::fprintf(stderr, "bench_first_tree: no round is called %s\n", only.c_str());
        return 2;
    }
    plainScan(path); // warms the cache
    std::vector<std::vector<double>> times(modes.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t m = 0; m < modes.size(); ++m) {
            if (!only.empty() && only != modes[m].name) continue;
            times[m].push_back(modes[m].run(path));
            if (times[m].back() < 0) {
                std::fprintf(stderr, "a run failed\n");
                return 1;
            }
        }
    }
    std::printf("first tree of %s, %d rounds:\n", path.c_str(), rounds);
    for (std::size_t m = 0; m < modes.size(); ++m)
        if (!times[m].empty()) report(modes[m].name, times[m]);
    return 0;
}
