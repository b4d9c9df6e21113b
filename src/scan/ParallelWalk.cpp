#include "scan/ParallelWalk.h"

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "scan/WalkedEntries.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace tessera {
namespace {

// One directory waiting to be read, or read and waiting for its subdirectories.
struct Task {
    Directory* directory;
    Task* parent;     // alive while this task is: a task outlives its subdirectories' tasks
    std::string path; // the root's path; empty below it (see pathOf)
    std::uint64_t device;
    std::atomic<std::uint32_t> pending{1}; // unfinished subdirectories, plus one for itself
};

constexpr std::int64_t kProgressIntervalNs = 50'000'000;

// The absolute path of a task's directory, joined from the names up to the root's path. Built
// only when needed: storing it in every task would cost the square of the depth.
std::string pathOf(const Task& task) {
    std::vector<const Task*> chain;
    for (const Task* at = &task; at->parent != nullptr; at = at->parent)
        chain.push_back(at);
    const Task* root = chain.empty() ? &task : chain.back()->parent;
    std::size_t length = root->path.size();
    for (const Task* at : chain)
        length += at->directory->path().size() + 1;
    std::string path;
    path.reserve(length);
    path = root->path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty() && path != "/") path += '/';
        path += (*it)->directory->path();
    }
    return path;
}

class Walk {
public:
    Walk(const WalkHooks& hooks)
        : hooks_(hooks), lastReport_(platform::coarseMonotonicNanoseconds()) {}

    WalkResult run(Directory& root, const std::string& path, std::uint64_t device,
                   unsigned threads) {
        auto* first = new Task{&root, nullptr, path, device};
        stack_.push_back(first);
        std::vector<std::thread> helpers;
        for (unsigned i = 1; i < threads; ++i) {
            try {
                helpers.emplace_back([this] {
                    if (hooks_.onHelperStart) hooks_.onHelperStart();
                    work();
                });
            } catch (const std::system_error&) {
                break; // the system gives no more threads: the walk goes on with those it has
            }
        }
        work();
        for (std::thread& helper : helpers)
            helper.join();
        // A cancelled walk leaves unread tasks behind: finishing them frees them and, up the
        // chain, the tasks that waited for them. The partial tree is dropped by the caller.
        for (Task* task : stack_)
            finish(task);
        stack_.clear();
        return {completed_.load()};
    }

private:
    bool cancelled() const {
        return hooks_.cancelled != nullptr && hooks_.cancelled->load(std::memory_order_relaxed);
    }

    void work() {
        std::vector<FilePtr> children;
        for (;;) {
            Task* task = nullptr;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock,
                            [this] { return !stack_.empty() || active_ == 0 || cancelled(); });
                if (stack_.empty() || cancelled()) {
                    ready_.notify_all();
                    return;
                }
                task = stack_.back();
                stack_.pop_back();
                ++active_;
            }
            read(task, children);
            {
                std::lock_guard lock(mutex_);
                --active_;
                if (stack_.empty() && active_ == 0) ready_.notify_all();
            }
        }
    }

    void step(std::uint64_t& local) {
        ++local;
        if ((local & 255) == 0) flush(local);
    }

    void flush(std::uint64_t& local) {
        if (local == 0) return;
        const std::uint64_t total = completed_.fetch_add(local) + local;
        local = 0;
        if (!hooks_.onProgress) return;
        const std::int64_t now = platform::coarseMonotonicNanoseconds();
        std::int64_t last = lastReport_.load(std::memory_order_relaxed);
        if (now - last >= kProgressIntervalNs && lastReport_.compare_exchange_strong(last, now))
            hooks_.onProgress(total);
    }

    // Reads `task` and then, while the directory just read has subdirectories, goes on with the
    // first of them opened relative to its parent: a deep chain costs one short open per level
    // instead of a walk down its whole path. The other subdirectories go to the shared stack.
    void read(Task* task, std::vector<FilePtr>& children) {
        std::expected<platform::UniqueFd, int> opened = platform::openDirectory(pathOf(*task));
        while (task != nullptr) {
            std::vector<Task*> subtasks = readOne(*task, opened, children);
            Task* next = nullptr;
            if (!subtasks.empty() && !cancelled()) {
                next = subtasks.front();
                subtasks.erase(subtasks.begin());
                opened = openBelow(opened, *next);
            }
            if (!subtasks.empty()) {
                std::lock_guard lock(mutex_);
                // Reversed, so that the stack gives them back in directory order.
                stack_.insert(stack_.end(), subtasks.rbegin(), subtasks.rend());
                ready_.notify_all();
            }
            finish(task);
            task = next;
        }
    }

    static std::expected<platform::UniqueFd, int>
    openBelow(const std::expected<platform::UniqueFd, int>& parent, const Task& task) {
        if (!parent) return platform::openDirectory(pathOf(task));
        return platform::openDirectoryAt(parent->get(),
                                         std::string(task.directory->path()).c_str());
    }

    // Reads one directory into its node; returns the tasks of its subdirectories.
    std::vector<Task*> readOne(Task& task, const std::expected<platform::UniqueFd, int>& opened,
                               std::vector<FilePtr>& children) {
        children.clear();
        std::vector<Task*> subtasks;
        std::uint64_t handled = 0;
        FolderListing listing;
        std::optional<std::string> knownPath;
        auto directoryPath = [&]() -> const std::string& {
            if (!knownPath) knownPath = pathOf(task);
            return *knownPath;
        };
        if (!opened) {
            hooks_.onError(directoryPath(), opened.error());
        } else {
            const int fd = opened->get();
            if (hooks_.onOpenDirectory) {
                hooks_.onOpenDirectory(fd, directoryPath());
                // The folder's dates were read in its parent's listing, before whoever asked
                // (a watch) could see it change: read them again now.
                if (const auto status = platform::statusOfOpen(fd))
                    task.directory->setDates(status->creationDate, status->modificationDate);
            }
            const int readError = forEachWalkedEntry(
                fd, task.device, hooks_, directoryPath,
                [&](std::string_view name, const platform::EntryStatus& status) {
                    if (status.isDirectory) {
                        DirectoryPtr sub = Directory::create(name, status.creationDate,
                                                             status.modificationDate, {});
                        subtasks.push_back(new Task{sub.get(), &task, {}, status.device});
                        children.push_back(std::move(sub));
                        return;
                    }
                    if (status.linkCount > 1 && hooks_.onLinkedFile)
                        hooks_.onLinkedFile(joinPath(directoryPath(), name), status);
                    children.push_back(File::create(name, status.size, status.allocatedSize,
                                                    status.creationDate, status.modificationDate));
                    listing.fileSize += status.size;
                    listing.fileAllocatedSize += status.allocatedSize;
                    ++listing.fileCount;
                },
                [&] { step(handled); });
            if (readError != 0) hooks_.onError(directoryPath(), readError);
        }
        flush(handled);
        if (hooks_.onFolderListed) {
            listing.folder = task.directory;
            listing.parent = task.parent != nullptr ? task.parent->directory : nullptr;
            listing.name = task.parent != nullptr ? std::string(task.directory->path()) : task.path;
            hooks_.onFolderListed(std::move(listing));
        }
        task.directory->assignContents(std::move(children));
        task.pending.fetch_add(static_cast<std::uint32_t>(subtasks.size()));
        return subtasks;
    }

    // Counts a finished piece of `task`; when it was the last, adds up the directory and
    // finishes its share of the parent, up the chain.
    void finish(Task* task) {
        while (task != nullptr && task->pending.fetch_sub(1) == 1) {
            task->directory->aggregate();
            if (hooks_.onFolderFinished && !cancelled()) hooks_.onFolderFinished(task->directory);
            Task* parent = task->parent;
            delete task;
            task = parent;
        }
    }

    const WalkHooks& hooks_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Task*> stack_;
    unsigned active_ = 0;
    std::atomic<std::uint64_t> completed_{0};
    std::atomic<std::int64_t> lastReport_;
};

} // namespace

WalkResult walkTree(Directory& root, const std::string& rootPath, std::uint64_t rootDevice,
                    const WalkHooks& hooks, unsigned threads) {
    Walk walk(hooks);
    return walk.run(root, rootPath, rootDevice, std::max(1u, threads));
}

unsigned defaultWalkThreads() {
    // More threads than cores keep more reads in flight when the cache is cold; on a warm
    // cache the extra threads cost little, since every entry is a system call.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::min(64u, std::max(16u, cores * 4));
}

} // namespace tessera
