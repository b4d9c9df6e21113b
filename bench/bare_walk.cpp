// The physical floor of a scan: getdents64 and one statx per entry on several threads, and
// nothing else (no tree, no names kept).
//
//   bench_bare_walk DIRECTORY [threads] [list]
//
// With "list", entries are only listed (folders known from the listing's types), not measured:
// what a cold cache costs for the listings alone.
#include "WalkStack.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using bench::LinuxDirent64;
auto& [mutex, ready, pending, active] = bench::walkStack;
std::atomic<long long> entries{0}, bytes{0};
bool listOnly = false;

void work() {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        std::string path;
        {
            std::unique_lock lock(mutex);
            if (!bench::walkStack.take(lock, path)) return;
        }
        std::vector<std::string> found;
        long long count = 0, size = 0;
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            long n;
            while ((n = syscall(SYS_getdents64, fd, buffer.data(), buffer.size())) > 0) {
                for (long at = 0; at < n;) {
                    const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer.data() + at);
                    at += entry->d_reclen;
                    const char* name = entry->d_name;
                    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                        continue;
                    if (listOnly && entry->d_type != DT_UNKNOWN) {
                        ++count;
                        if (entry->d_type == DT_DIR) found.push_back(path + "/" + name);
                        continue;
                    }
                    struct statx stx;
                    if (statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
                              STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_MTIME | STATX_BTIME,
                              &stx) != 0)
                        continue;
                    ++count;
                    size += static_cast<long long>(stx.stx_size);
                    if (S_ISDIR(stx.stx_mode)) found.push_back(path + "/" + name);
                }
            }
            close(fd);
        }
        entries += count;
        bytes += size;
        std::lock_guard lock(mutex);
        for (auto& directory : found)
            pending.push_back(std::move(directory));
        --active;
        ready.notify_all();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_bare_walk DIRECTORY [threads] [list]\n");
        return 2;
    }
    const unsigned threads =
        argc > 2 ? static_cast<unsigned>(std::stoul(argv[2])) : std::thread::hardware_concurrency();
    listOnly = argc > 3 && std::strcmp(argv[3], "list") == 0;
    pending.push_back(argv[1]);
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i)
        workers.emplace_back(work);
    for (auto& worker : workers)
        worker.join();
    std::printf("%lld entries, %lld bytes\n", entries.load(), bytes.load());
    return 0;
}
