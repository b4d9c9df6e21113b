// Memory per entry of a million-entry tree, and the cost of size updates in it.
//
//   bench_tree [entries]
//
// Memory is the growth of the process's resident set while the tree is built, divided by the
// entries; it includes names, child arrays and allocator overhead.
#include "TreeShape.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <unistd.h>

using namespace tessera;

namespace {

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

void collectFiles(Directory& root, std::vector<File*>& files, double& depthSum) {
    std::vector<std::pair<Directory*, int>> pending{{&root, 0}};
    while (!pending.empty()) {
        auto [directory, depth] = pending.back();
        pending.pop_back();
        for (File* child : directory->contents()) {
            if (Directory* sub = child->asDirectory()) {
                pending.push_back({sub, depth + 1});
            } else {
                files.push_back(child);
                depthSum += depth + 1;
            }
        }
    }
}

void updateBenchmark(std::size_t entries, std::size_t updates) {
    auto tree = bench::generateHomeTree(entries, 7);
    sortTree(*tree.root, SizeMode::fileSize);
    std::vector<File*> files;
    double depthSum = 0;
    collectFiles(*tree.root, files, depthSum);
    std::mt19937_64 random(99);
    std::vector<std::pair<File*, std::int64_t>> plan;
    for (std::size_t i = 0; i < updates; ++i) {
        File* file = files[random() % files.size()];
        plan.push_back({file, static_cast<std::int64_t>(random() % 100'000) - 50'000});
    }
    std::size_t batchEntries = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto [file, delta] : plan) {
        // A write changes the length by any number of bytes, the allocation by whole blocks.
        const std::int64_t sizeDelta = std::max(delta, -file->size());
        const std::int64_t allocatedDelta =
            std::max(sizeDelta / 4096 * 4096, -file->allocatedSize());
        batchEntries += file->parent()->updateSizes(file, sizeDelta, allocatedDelta, 0).size();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double meanDepth = depthSum / static_cast<double>(files.size());
    std::printf("updateSizes: %zu updates on %zu entries: %.0f ns per update, mean depth %.1f, "
                "%.1f batch entries per update, %.1f ns per level\n",
                updates, tree.entries, seconds * 1e9 / static_cast<double>(updates), meanDepth,
                static_cast<double>(batchEntries) / static_cast<double>(updates),
                seconds * 1e9 / static_cast<double>(batchEntries));
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::stoul(argv[1]) : 1'000'000;

    malloc_trim(0);
    const std::size_t before = residentBytes();
    auto tree = bench::generateHomeTree(entries);
    malloc_trim(0);
    const std::size_t after = residentBytes();
    std::printf("memory: %zu entries, mean name %.1f bytes, %.1f bytes per entry "
                "(resident growth %.1f MB; node store %.1f MB)\n",
                tree.entries,
                static_cast<double>(tree.nameBytes) / static_cast<double>(tree.entries),
                static_cast<double>(after - before) / static_cast<double>(tree.entries),
                static_cast<double>(after - before) / 1e6,
                static_cast<double>(NodeStore::bytesInUse()) / 1e6);
    tree.root.reset();

    // O(depth x log n): the time per level should barely move between a tree ten times smaller
    // and the full one.
    updateBenchmark(entries / 10, 100'000);
    updateBenchmark(entries, 100'000);
    return 0;
}
