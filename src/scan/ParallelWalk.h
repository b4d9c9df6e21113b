// The walk below a scan's root on several threads. Each directory is read by one thread, so its
// contents come out in the order the kernel returns them, and the finished tree is the one a
// single-threaded walk would build. A directory adds up its totals as soon as the last of its
// subdirectories is finished.
#pragma once

#include "model/Directory.h"
#include "platform/FileSystem.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace tessera {

class Predicate;

namespace platform {
struct EntryStatus;
}

/// A folder as the walk lists it: its own files added up (its subfolders are listed on their
/// own, after it). Folders are named by the address of their node, which is only ever compared.
struct FolderListing {
    const void* folder = nullptr;
    const void* parent = nullptr; // none for the root
    std::string name;             // the folder's own name (the root's is the walk's)
    std::int64_t fileSize = 0;
    std::int64_t fileAllocatedSize = 0;
    std::int64_t fileCount = 0;
};

struct WalkHooks {
    const std::atomic<bool>* cancelled = nullptr;
    /// Entries whose absolute path makes this true are left out, with their descendants.
    const Predicate* exclusion = nullptr;
    /// An unreadable directory or entry, with its errno value. Called on walking threads.
    std::function<void(std::string path, int errorNumber)> onError;
    /// An excluded entry. Called on walking threads.
    std::function<void(std::string path)> onExclude;
    /// Every measured entry, before it is added; null unless a detailed log is wanted.
    std::function<void(const std::string& path, const platform::EntryStatus&)> onEntry;
    /// Each directory as it is opened, before its entries are read, with its descriptor; the
    /// root too; the folder's dates are read again after it. Called on walking threads; null
    /// when nobody asks.
    std::function<void(int directoryFd, const std::string& path)> onOpenDirectory;
    /// First thing on each thread the walk starts (not on the thread that runs the walk); null
    /// when nobody asks.
    std::function<void()> onHelperStart;
    /// Each file with more than one name (hard links), by absolute path. Called on walking
    /// threads; null when nobody asks.
    std::function<void(std::string path, const platform::EntryStatus& status)> onLinkedFile;
    /// Each folder once its entries are read, before any of its subfolders is: the picture of
    /// a walk still running. Called on walking threads; null when nobody asks.
    std::function<void(FolderListing listing)> onFolderListed;
    /// Each listed folder once everything below it is measured. Called on walking threads.
    std::function<void(const void* folder)> onFolderFinished;
    /// Called now and then with the number of entries handled so far.
    std::function<void(std::uint64_t completed)> onProgress;
};

struct WalkResult {
    std::uint64_t completed = 0; // entries handled: added or excluded
};

/// Fills the empty directory `root`, found at `rootPath` on `rootDevice`, and everything below
/// it, then aggregates it. Mount points below the root are neither entered nor counted.
WalkResult walkTree(Directory& root, const std::string& rootPath, std::uint64_t rootDevice,
                    const WalkHooks& hooks, unsigned threads);

/// The number of walking threads that suits this machine.
unsigned defaultWalkThreads();

} // namespace tessera
