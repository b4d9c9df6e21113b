// Hard links counted once in a live tree, on a real folder with real inotify: a tree shaped like
// rotating backups (every file of "a" has a second name in "b"), then
//  1. switching the counting on (every file decided, every other name told to the observers),
//  2. a write through a second name until the total shows it (that file decided again),
//  3. a new file with one name until the total shows it (nothing to decide),
//  4. switching the counting off;
// 2 and 3 also with every name counted, before the switch, for comparison.
// Each step's main-thread time is what a window would freeze for.
//
//   bench_links_once [folder-to-create-in] [files]
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "platform/MainQueue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

using namespace tessera;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void write(const std::string& path, std::size_t bytes, int flags) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0) std::exit(1);
    const std::string data(bytes, 'b');
    if (!data.empty() && ::write(fd, data.data(), data.size()) < 0) std::exit(1);
    ::close(fd);
}

// Runs the main queue until `done`, and says how long it took.
double timeUntil(const std::function<bool()>& done) {
    const auto start = Clock::now();
    if (!MainQueue::shared().runUntil(done, std::chrono::seconds(120))) {
        std::fprintf(stderr, "bench_links_once: timed out\n");
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::string base = argc > 1 ? argv[1] : "/tmp";
    const long files = argc > 2 ? std::atol(argv[2]) : 20000;
    const std::string root = base + "/tessera-links-bench";
    fs::remove_all(root);
    for (long folder = 0; folder < 100; ++folder) {
        fs::create_directories(root + "/a/" + std::to_string(folder));
        fs::create_directories(root + "/b/" + std::to_string(folder));
    }
    for (long i = 0; i < files; ++i) {
        const std::string name = std::to_string(i % 100) + "/f" + std::to_string(i);
        write(root + "/a/" + name, static_cast<std::size_t>(100 + i % 50), O_TRUNC);
        if (::link((root + "/a/" + name).c_str(), (root + "/b/" + name).c_str()) != 0) return 1;
    }

    Favorite favorite(root, false);
    auto controller = FileController::create(root);
    favorite.setFileController(controller);
    timeUntil([&] { return controller->rootFile() != nullptr; });
    Directory& tree = *controller->rootFile();
    const std::int64_t each = tree.size();

    // The same changes counted at each name first, for comparison: a write through a second name
    // shows at both names.
    write(root + "/b/1/f1", 1000, O_APPEND);
    const double writtenEach = timeUntil([&] { return tree.size() == each + 2000; });
    write(root + "/single-each", 500, O_TRUNC);
    const double singleEach = timeUntil([&] { return tree.size() == each + 2500; });

    const auto on = Clock::now();
    favorite.setCountsHardLinksOnce(true);
    const double switchOn = std::chrono::duration<double, std::milli>(Clock::now() - on).count();
    const std::int64_t once = tree.size();

    write(root + "/b/0/f0", 1000, O_APPEND);
    const double written = timeUntil([&] { return tree.size() == once + 1000; });
    write(root + "/single-once", 500, O_TRUNC);
    const double single = timeUntil([&] { return tree.size() == once + 1500; });

    const auto off = Clock::now();
    favorite.setCountsHardLinksOnce(false);
    const double switchOff = std::chrono::duration<double, std::milli>(Clock::now() - off).count();

    std::printf("%ld files with two names: %lld bytes counted at each name, %lld once\n", files,
                static_cast<long long>(each), static_cast<long long>(once));
    std::printf("switch on  %8.1f ms\n", switchOn);
    std::printf("write through a second name, until shown: %8.1f ms once, %8.1f ms at each name\n",
                written, writtenEach);
    std::printf("new file with one name, until shown:      %8.1f ms once, %8.1f ms at each name\n",
                single, singleEach);
    std::printf("switch off %8.1f ms\n", switchOff);
    favorite.setFileController(nullptr);
    MainQueue::shared().runPending();
    fs::remove_all(root);
    return 0;
}
