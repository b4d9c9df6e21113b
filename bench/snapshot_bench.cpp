// Snapshot speed: writing a million-entry tree in memory to both forms, and reading files back.
//
//   bench_snapshot write DIRECTORY [entries]  writes DIRECTORY/tree.tsv and tree.json from a
//                                             generated tree and prints MB/s
//   bench_snapshot read FILE                  reads a snapshot file and prints seconds (reading
//                                             the file included), entries/s and peak memory
//                                             against the tree plus the file
#include "TreeShape.h"
#include "platform/Files.h"
#include "snapshot/Snapshot.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessera;

namespace {

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

std::size_t peakBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

std::size_t countEntries(const File& root) {
    std::size_t entries = 0;
    std::vector<const File*> pending{&root};
    while (!pending.empty()) {
        const File* file = pending.back();
        pending.pop_back();
        ++entries;
        if (const Directory* directory = file->asDirectory())
            for (const File* child : directory->contents())
                pending.push_back(child);
    }
    return entries;
}

int write(const std::string& folder, std::size_t entries) {
    auto tree = bench::generateHomeTree(entries);
    for (auto format : {SnapshotEncoder::FileFormat::tsv, SnapshotEncoder::FileFormat::json}) {
        SnapshotEncoder::Options options;
        options.format = format;
        // Encoding alone, best of three: the pieces are counted and dropped.
        std::size_t bytes = 0;
        const SnapshotEncoder encoder(options);
        double encoding = std::numeric_limits<double>::infinity();
        for (int run = 0; run < 3; ++run) {
            bytes = 0;
            const auto start = std::chrono::steady_clock::now();
            encoder.encode(*tree.root, [&bytes](std::string_view piece) { bytes += piece.size(); });
            encoding = std::min(encoding, since(start));
        }
        // Encoding into one string, as Snapshot::makeData gives it.
        const auto start = std::chrono::steady_clock::now();
        const std::string data = Snapshot::makeData(*tree.root, options);
        const double whole = since(start);
        const std::string path = folder + "/tree." + std::string(rawValue(format));
        if (!platform::writeFileAtomically(path, data)) return 1;
        std::printf("write %-4s %zu entries, %.1f MB (%.1f bytes per entry): streamed %.3f s "
                    "(%.0f MB/s), into one string %.3f s (%.0f MB/s)\n",
                    std::string(rawValue(format)).c_str(), tree.entries,
                    static_cast<double>(bytes) / 1e6,
                    static_cast<double>(bytes) / static_cast<double>(tree.entries), encoding,
                    static_cast<double>(bytes) / 1e6 / encoding, whole,
                    static_cast<double>(bytes) / 1e6 / whole);
    }
    return 0;
}

int read(const std::string& path) {
    const std::size_t baseline = residentBytes();
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return 1;
    const auto fileBytes = static_cast<std::size_t>(status.st_size);
    // From the file, as the app and the command line read it: the time includes reading it.
    const auto start = std::chrono::steady_clock::now();
    auto root = Snapshot::loadRootFromFile(path);
    const double seconds = since(start);
    if (!root) {
        std::fprintf(stderr, "%s\n", root.error().description.c_str());
        return 1;
    }
    const std::size_t entries = countEntries(**root);
    const std::size_t tree = NodeStore::bytesInUse();
    std::printf("read %s: %zu entries in %.3f s, %.0f MB/s, %.2f M entries/s; peak %.1f MB above "
                "start, tree %.1f MB + file %.1f MB = %.1f MB\n",
                path.c_str(), entries, seconds, static_cast<double>(fileBytes) / 1e6 / seconds,
                static_cast<double>(entries) / 1e6 / seconds,
                static_cast<double>(peakBytes() - baseline) / 1e6, static_cast<double>(tree) / 1e6,
                static_cast<double>(fileBytes) / 1e6, static_cast<double>(tree + fileBytes) / 1e6);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "write") return write(argv[2], argc > 3 ? std::stoul(argv[3]) : 1'000'000);
    if (mode == "read") return read(argv[2]);
    std::fprintf(stderr, "usage: bench_snapshot write DIRECTORY [entries] | read FILE\n");
    return 2;
}
