// Live updates, measured on a real folder with real inotify:
//  1. latency: from a file's creation to its insertion reaching an observer, while idle;
//  2. a burst: N files created as fast as one thread can, then the time until the live tree
//     agrees with the disk again, next to a fresh scan of the same folder;
//  3. the same files deleted again.
//
//   bench_live [folder-to-create-in] [burst-files] [--sorted]
//
// With --sorted every folder is kept sorted by size, as the graph and the outline keep them.
#include "controller/FileController.h"
#include "controller/FileControllerObserver.h"
#include "platform/MainQueue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tessera;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void touch(const std::string& path, std::size_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::exit(1);
    static const std::string data(4096, 'b');
    if (bytes > 0 && ::write(fd, data.data(), std::min(bytes, data.size())) < 0) std::exit(1);
    ::close(fd);
}

class InsertionClock final : public FileControllerObserver {
public:
    explicit InsertionClock(FileController& controller) : controller_(controller) {}
    Directory* observedRootFile() const override { return controller_.rootFile(); }
    void fileControllerDidInsert(Directory& parent, std::size_t index) override {
        last = std::string(parent.child(index)->path());
        ++insertions;
    }
    void fileControllerDidRemove(File&, Directory&, std::size_t) override { ++removals; }
    std::string last;
    long insertions = 0;
    long removals = 0;

private:
    FileController& controller_;
};

} // namespace

int main(int argc, char** argv) {
    const std::string base = argc > 1 ? argv[1] : "/tmp";
    const long burst = argc > 2 ? std::atol(argv[2]) : 100000;
    const bool sorted = argc > 3 && std::string(argv[3]) == "--sorted";
    const std::string root = base + "/tessera-live-bench";
    fs::remove_all(root);
    fs::create_directories(root + "/latency");
    // Some surroundings: 100 folders of 100 files.
    for (int d = 0; d < 100; ++d) {
        const std::string folder = root + "/old" + std::to_string(d);
        fs::create_directory(folder);
        for (int f = 0; f < 100; ++f)
            touch(folder + "/f" + std::to_string(f), 100);
    }

    MainQueue& queue = MainQueue::shared();
    Favorite favorite(root, false);
    auto controller = FileController::create(root);
    InsertionClock observer(*controller);
    controller->addObserver(observer);
    favorite.setFileController(controller);
    queue.runUntil([&] { return controller->rootFile() != nullptr; }, std::chrono::minutes(5));
    if (sorted) sortTree(*controller->rootFile(), SizeMode::fileSize);
    Directory& tree = *controller->rootFile();

    // 1. Latency, one file at a time.
    std::vector<double> latencies;
    for (int i = 0; i < 100; ++i) {
        const std::string name = "n" + std::to_string(i);
        const auto start = Clock::now();
        touch(root + "/latency/" + name, 10);
        if (!queue.runUntil([&] { return observer.last == name; }, std::chrono::seconds(10))) {
            std::fprintf(stderr, "no insertion for %s\n", name.c_str());
            return 1;
        }
        latencies.push_back(millisecondsSince(start));
        // Paced like a person saving files, not like a burst.
        queue.runUntil([] { return false; }, std::chrono::milliseconds(50));
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("creation to insertion (%zu files, idle): median %.2f ms, p90 %.2f ms, max "
                "%.2f ms\n",
                latencies.size(), latencies[latencies.size() / 2],
                latencies[latencies.size() * 9 / 10], latencies.back());

    // 2. A burst in one new folder, written by another thread while the main loop runs.
    const std::int64_t leavesBefore = tree.fileCount();
    const std::string build = root + "/build";
    const auto burstStart = Clock::now();
    std::atomic<bool> written{false};
    Clock::time_point burstEnd;
    std::thread writer([&] {
        fs::create_directory(build);
        for (long i = 0; i < burst; ++i)
            touch(build + "/o" + std::to_string(i), static_cast<std::size_t>(i % 4096));
        burstEnd = Clock::now();
        written.store(true);
    });
    const bool converged = queue.runUntil(
        [&] {
            return written.load() && controller->scanOperationCount() == 0 &&
                   tree.fileCount() == leavesBefore + burst;
        },
        std::chrono::minutes(10));
    const auto convergedAt = Clock::now();
    writer.join();
    const double afterBurst =
        std::chrono::duration<double, std::milli>(convergedAt - burstEnd).count();
    const double fromStart =
        std::chrono::duration<double, std::milli>(convergedAt - burstStart).count();
    const double writing = std::chrono::duration<double, std::milli>(burstEnd - burstStart).count();

    const auto scanStart = Clock::now();
    ScanOperation fresh(root, nullptr, false, {}, queue);
    FilePtr scanned = fresh.scan();
    const double scanTime = millisecondsSince(scanStart);
    const bool equal = scanned && scanned->size() == tree.size() &&
                       scanned->asDirectory()->fileCount() == tree.fileCount();

    std::printf("burst of %ld files in one folder%s: written in %.0f ms; tree %s %.0f ms after "
                "the last write (%.0f ms after the first); %ld insertions, %ld removals told\n",
                burst, sorted ? " (sorted tree)" : "", writing,
                converged && equal ? "agreed with the disk" : "DID NOT AGREE", afterBurst,
                fromStart, observer.insertions, observer.removals);
    std::printf("fresh scan of the same folder (%lld entries): %.0f ms; convergence / scan = "
                "%.2f\n",
                static_cast<long long>(tree.fileCount()), scanTime, afterBurst / scanTime);

    // 3. The burst's files deleted again (the folder stays), as a clean step would.
    const auto cleanStart = Clock::now();
    std::atomic<bool> cleaned{false};
    Clock::time_point cleanEnd;
    std::thread cleaner([&] {
        for (long i = 0; i < burst; ++i)
            ::unlink((build + "/o" + std::to_string(i)).c_str());
        cleanEnd = Clock::now();
        cleaned.store(true);
    });
    const bool emptied = queue.runUntil(
        [&] {
            return cleaned.load() && controller->scanOperationCount() == 0 &&
                   tree.fileCount() == leavesBefore + 1;
        },
        std::chrono::minutes(10));
    const auto emptiedAt = Clock::now();
    cleaner.join();
    std::printf("deleting them again: done in %.0f ms; tree %s %.0f ms after the last deletion; "
                "%ld removals told\n",
                std::chrono::duration<double, std::milli>(cleanEnd - cleanStart).count(),
                emptied ? "agreed with the disk" : "DID NOT AGREE",
                std::chrono::duration<double, std::milli>(emptiedAt - cleanEnd).count(),
                observer.removals);

    controller->removeObserver(observer);
    favorite.setFileController(nullptr);
    queue.runPending();
    fs::remove_all(root);
    return converged && equal && emptied ? 0 : 1;
}
