// A bare walk whose statx calls go through io_uring, to measure whether more reads in flight
// than threads make a cold scan faster: listings stay on threads (io_uring cannot read a
// directory), each thread measures the entries through a ring of its own.
//
//   bench_ring_walk DIRECTORY [threads] [batch|deferred] [workers per ring]
//
// batch:    a listing's entries go to the ring together, and the thread waits for all of them
//           before it takes the next folder (a folder's worth of reads in flight per thread).
// deferred: the thread goes on listing further folders while its entries are being measured,
//           with up to kDepth of them in flight; folders are found from the listing's types.
// The kernel serves a ring's statx on workers of its own; "workers per ring" bounds them.
#include "WalkStack.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <liburing.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned kDepth = 512;
constexpr int kStatxFlags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC;
constexpr unsigned kStatxMask = STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_MTIME | STATX_BTIME;

using bench::LinuxDirent64;
auto& [mutex, ready, pending, active] = bench::walkStack;
std::atomic<long long> entries{0};
bool deferred = false;
unsigned workersPerRing = 8;

// One request in flight: the name it measures, its answer, and the folder it lies in.
struct Request {
    std::string name;
    struct statx answer;
    std::size_t folder;
};

// A folder kept open while requests of its entries are in flight.
struct OpenFolder {
    int fd = -1;
    unsigned uses = 0;
};

class RingWalker {
public:
    RingWalker() : requests_(kDepth) {
        if (io_uring_queue_init(kDepth, &ring_, 0) != 0) {
            std::perror("io_uring_queue_init");
            std::exit(1);
        }
        unsigned workers[2] = {workersPerRing, workersPerRing};
        io_uring_register_iowq_max_workers(&ring_, workers);
        for (unsigned i = 0; i < kDepth; ++i)
            free_.push_back(i);
    }
    ~RingWalker() {
        io_uring_queue_exit(&ring_);
        entries += measured_;
    }

    void run() {
        std::vector<char> buffer(64 * 1024);
        bool counted = false; // whether this thread holds a folder others must wait for
        for (;;) {
            std::string path;
            {
                std::unique_lock lock(mutex);
                if (counted) {
                    --active;
                    counted = false;
                    if (pending.empty() && active == 0) ready.notify_all();
                }
                if (pending.empty() && inFlight_ > 0) {
                    // Answers never add folders: they are waited for outside the lock.
                    lock.unlock();
                    reap(true);
                    continue;
                }
                if (!bench::walkStack.take(lock, path)) return;
                counted = true;
            }
            std::vector<std::string> found = list(path, buffer);
            if (deferred) {
                io_uring_submit(&ring_);
                reap(false);
            } else {
                while (inFlight_ > 0)
                    reap(true);
            }
            std::lock_guard lock(mutex);
            for (std::string& folder : found)
                pending.push_back(std::move(folder));
            ready.notify_all();
        }
    }

private:
    std::vector<std::string> list(const std::string& path, std::vector<char>& buffer) {
        std::vector<std::string> found;
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return found;
        const std::size_t folder = openFolder(fd);
        long bytes;
        while ((bytes = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size())) > 0) {
            for (long at = 0; at < bytes;) {
                const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer.data() + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
                if (entry->d_type == DT_DIR) found.push_back(path + "/" + name);
                submit(folder, name);
            }
        }
        release(folder);
        return found;
    }

    std::size_t openFolder(int fd) {
        std::size_t index = folders_.size();
        if (!freeFolders_.empty()) {
            index = freeFolders_.back();
            freeFolders_.pop_back();
        } else {
            folders_.emplace_back();
        }
        folders_[index] = {fd, 1};
        return index;
    }

    void release(std::size_t folder) {
        if (--folders_[folder].uses > 0) return;
        ::close(folders_[folder].fd);
        freeFolders_.push_back(folder);
    }

    void submit(std::size_t folder, const char* name) {
        while (free_.empty())
            reap(true);
        const unsigned slot = free_.back();
        free_.pop_back();
        Request& request = requests_[slot];
        request.name = name;
        request.folder = folder;
        ++folders_[folder].uses;
        io_uring_sqe* entry = io_uring_get_sqe(&ring_);
        if (entry == nullptr) {
            io_uring_submit(&ring_);
            entry = io_uring_get_sqe(&ring_);
        }
        io_uring_prep_statx(entry, folders_[folder].fd, request.name.c_str(), kStatxFlags,
                            kStatxMask, &request.answer);
        io_uring_sqe_set_data64(entry, slot);
        ++inFlight_;
    }

    void reap(bool wait) {
        if (wait) io_uring_submit_and_wait(&ring_, 1);
        io_uring_cqe* answer = nullptr;
        while (io_uring_peek_cqe(&ring_, &answer) == 0 && answer != nullptr) {
            const auto slot = static_cast<unsigned>(io_uring_cqe_get_data64(answer));
            if (answer->res == 0) ++measured_;
            io_uring_cqe_seen(&ring_, answer);
            release(requests_[slot].folder);
            free_.push_back(slot);
            --inFlight_;
        }
    }

    io_uring ring_{};
    std::vector<Request> requests_;
    std::vector<unsigned> free_;
    std::vector<OpenFolder> folders_;
    std::vector<std::size_t> freeFolders_;
    unsigned inFlight_ = 0;
    long long measured_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: bench_ring_walk DIRECTORY [threads] [batch|deferred] [workers]\n");
        return 2;
    }
    const unsigned threads =
        argc > 2 ? static_cast<unsigned>(std::stoul(argv[2])) : std::thread::hardware_concurrency();
    deferred = argc > 3 && std::strcmp(argv[3], "deferred") == 0;
    if (argc > 4) workersPerRing = static_cast<unsigned>(std::stoul(argv[4]));
    pending.push_back(argv[1]);
    std::vector<std::thread> walkers;
    for (unsigned i = 0; i < threads; ++i)
        walkers.emplace_back([] { RingWalker().run(); });
    for (std::thread& walker : walkers)
        walker.join();
    std::printf("%lld entries\n", entries.load());
    return 0;
}
