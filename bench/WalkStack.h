// What the bare walks share: the kernel's directory record as getdents64 fills it, and the
// stack of folders still to be read that their threads take from.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

/// Folders waiting to be read, and how many threads are reading one (which may add more).
struct WalkStack {
    std::mutex mutex;
    std::condition_variable ready;
    std::vector<std::string> pending;
    int active = 0;

    /// With `lock` held on `mutex`: waits for a folder and takes it, counting its reader as
    /// active; false once no folder is left and no thread is reading one.
    bool take(std::unique_lock<std::mutex>& lock, std::string& path) {
        ready.wait(lock, [this] { return !pending.empty() || active == 0; });
        if (pending.empty()) {
            ready.notify_all();
            return false;
        }
        path = std::move(pending.back());
        pending.pop_back();
        ++active;
        return true;
    }
};

inline WalkStack walkStack;

} // namespace bench
