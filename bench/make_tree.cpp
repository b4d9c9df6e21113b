// Writes a generated tree shaped like a home folder to disk, for the scan benchmarks.
//
//   bench_make_tree DIRECTORY [entries] [--varied]
//
// File lengths are set with ftruncate (most files are sparse); every fourth file gets one byte
// of data so that allocated sizes vary too. Modification dates are spread over three years, as
// in a real home folder, so that snapshots of the tree hold dates that differ from line to line.
// --varied makes a tree as a long-used disk holds (see TreeVariety), dates over five years.
#include "TreeShape.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessera;

namespace {

std::size_t written = 0;

std::time_t dateSpread = 3 * 365 * 86400;

// A date within the spread (three years, or five) before 2022-04-15, fixed by the path so that
// every run writes the same tree.
timespec modificationDateFor(const std::string& path) {
    const auto seconds = static_cast<std::time_t>(std::hash<std::string>{}(path) % dateSpread);
    return timespec{1'650'000'000 - seconds, 0};
}

void setModificationDate(int fd, const std::string& path) {
    const timespec dates[2] = {{0, UTIME_OMIT}, modificationDateFor(path)};
    if (fd >= 0 ? futimens(fd, dates) : utimensat(AT_FDCWD, path.c_str(), dates, 0))
        std::perror(path.c_str());
}

void writeOut(const Directory& directory, const std::string& path) {
    for (const File* child : directory.contents()) {
        const std::string childPath = path + "/" + std::string(child->path());
        if (const Directory* sub = child->asDirectory()) {
            if (mkdir(childPath.c_str(), 0755) != 0) continue; // a repeated name: skip it
            writeOut(*sub, childPath);
            setModificationDate(-1, childPath);
        } else {
            const int fd = open(childPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) continue;
            if (written % 4 == 0 && write(fd, "x", 1) != 1) std::perror("write");
            if (ftruncate(fd, child->size()) != 0) std::perror("ftruncate");
            setModificationDate(fd, childPath);
            close(fd);
        }
        ++written;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_make_tree DIRECTORY [entries] [--varied]\n");
        return 2;
    }
    const std::size_t entries = argc > 2 ? std::stoul(argv[2]) : 1'000'000;
    const bool varied = argc > 3 && std::string(argv[3]) == "--varied";
    if (varied) dateSpread = 5 * 365 * 86400;
    const std::string root = argv[1];
    if (mkdir(root.c_str(), 0755) != 0) {
        std::perror(root.c_str());
        return 1;
    }
    const auto tree =
        bench::generateHomeTree(entries, 2024, bench::FileSizes::spread,
                                varied ? bench::TreeVariety::varied : bench::TreeVariety::home);
    writeOut(*tree.root, root);
    std::printf("wrote %zu entries below %s\n", written, root.c_str());
    return 0;
}
