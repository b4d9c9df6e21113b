// One scan of a location: measures the root, walks the tree below it on several threads,
// reports progress and unreadable entries to the main thread, and hands the finished tree to its
// delegate there.
#pragma once

#include "model/File.h"
#include "platform/FileSystem.h"
#include "platform/OperationQueue.h"
#include "scan/ParallelWalk.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessera {

class MainQueue;
class Predicate;

/// How far a scan has got: entries handled, out of a total that is known only for volumes
/// (0 otherwise).
struct ScanProgress {
    std::uint64_t totalUnitCount = 0;
    std::uint64_t completedUnitCount = 0;
};

/// What a scan left out, by absolute path: the entries it could not read (each logged), and
/// those the exclusion filter left out (what lies below them unmeasured).
struct ScanLeftOut {
    std::vector<std::string> unreadable;
    std::vector<std::string> excluded;
};

/// Hears of a scan on the main thread.
class ScanOperationDelegate {
public:
    virtual ~ScanOperationDelegate() = default;
    virtual void scanOperationDidUpdateProgress(const ScanProgress& progress) = 0;
    /// `root` is none when the location could not be measured, is an excluded mount point, or
    /// (measuring an entry of a live tree) is excluded itself.
    virtual void scanOperationDidFinish(FilePtr root, const std::string& path,
                                        ScanLeftOut leftOut) = 0;
    /// The folders listed and finished since the last call, in the walk's order (a folder
    /// before what it holds); only for scans that list them (ScanOperation::setListsFolders).
    virtual void scanOperationDidListFolders(std::vector<FolderListing> /*listed*/,
                                             std::vector<const void*> /*finished*/) {}
};

class ScanOperation final : public Operation {
public:
    /// Least time between two progress deliveries.
    static constexpr double kUpdateInterval = 0.05;

    /// `exclusion` is the favourite's filter when it is switched on, else null. With
    /// `skipMountPoints`, a `path` that is itself a mount point gives no tree.
    ScanOperation(std::string path, std::shared_ptr<const Predicate> exclusion,
                  bool skipMountPoints, std::weak_ptr<ScanOperationDelegate> delegate,
                  MainQueue& mainQueue);

    /// Runs the whole scan on the calling thread (plus walking threads) and posts the result.
    void main() override;

    /// True once main() has begun.
    bool hasStarted() const { return started_.load(); }
    /// Marks the scan as the measurement of one entry of a live tree: a location that no longer
    /// exists is no error (such measurements race with deletions), the location itself is
    /// subject to the exclusion like any entry of a walk, and the node keeps its own name.
    void setMeasuresLiveEntry(bool live) { measuresLiveEntry_ = live; }

    const std::string& path() const { return path_; }
    ScanProgress progress() const;
    /// The entries the exclusion left out so far (with what lies below them, unmeasured).
    std::uint64_t excludedCount() const { return shared_->excluded.load(); }
    /// The entries that could not be read so far (each logged).
    std::uint64_t unreadableCount() const { return shared_->unreadable.load(); }
    /// Those entries and the excluded ones, in the order they were met.
    ScanLeftOut leftOut() const;
    void setThreadCount(unsigned threads) { threads_ = threads; }
    /// Called on walking threads with each folder as it is opened, before its entries are read
    /// (a live tree sets its watches up here, during the walk).
    /// `helperStarted` is called first on each thread the walk starts, to prepare it for that.
    void setFolderOpened(std::function<void(int directoryFd, const std::string& path)> opened,
                         std::function<void()> helperStarted = {}) {
        folderOpened_ = std::move(opened);
        helperStarted_ = std::move(helperStarted);
    }
    /// Hands the delegate the folders as the walk lists and finishes them (the first at once,
    /// then at most every listingInterval()): what a picture of the scan still running needs.
    void setListsFolders(bool lists) { listsFolders_ = lists; }
    /// The least time between two deliveries of listed folders, `elapsed` after the first: a
    /// tenth of a second at first, growing to half a second as the walk goes on, so that a
    /// picture redrawn for each costs the walk little however large the tree grows.
    static std::int64_t listingIntervalNs(std::int64_t elapsedNs);
    /// Called with each file met that has more than one name (hard links), by absolute path;
    /// on walking threads.
    void setLinkedFileFound(
        std::function<void(std::string path, const platform::EntryStatus& status)> found) {
        linkedFileFound_ = std::move(found);
    }

    /// Measures and walks `path` without posting anything: the tree or none. Exposed for
    /// main(), the command line and benchmarks.
    FilePtr scan();

protected:
    /// A cancelled scan delivers nothing more, not even what it has already posted.
    void didCancel() override { shared_->cancelled.store(true); }

private:
    struct Shared {
        std::atomic<bool> cancelled{false};
        std::atomic<std::uint64_t> total{0};
        std::atomic<std::uint64_t> completed{0};
        std::atomic<std::uint64_t> excluded{0};
        std::atomic<std::uint64_t> unreadable{0};
        std::mutex leftOutMutex; // guards leftOut
        ScanLeftOut leftOut;
        std::mutex listingMutex; // guards the four below
        std::vector<FolderListing> listed;
        std::vector<const void*> finished;
        bool listingPosted = false;
        std::int64_t firstListingPost = 0; // on the coarse monotonic clock; 0: never
        std::int64_t lastListingPost = 0;
    };
    void postError(std::string path, int errorNumber);
    void noteExcluded(std::string path);
    void postLog(class LogLine line);
    void postProgress();
    /// Posts the folders listed so far, unless a delivery is on its way or the last left less
    /// than the interval ago (`now`: the walk is over, whatever the interval).
    void postListings(bool now);

    std::string path_;
    std::function<void(int directoryFd, const std::string& path)> folderOpened_;
    std::function<void()> helperStarted_;
    std::function<void(std::string path, const platform::EntryStatus& status)> linkedFileFound_;
    std::shared_ptr<const Predicate> exclusion_;
    bool skipMountPoints_;
    std::weak_ptr<ScanOperationDelegate> delegate_;
    MainQueue& mainQueue_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    unsigned threads_;
    std::atomic<bool> started_{false};
    bool measuresLiveEntry_ = false;
    bool listsFolders_ = false;
};

/// `path` made absolute and lexically normal, without a trailing slash.
std::string standardizedPath(const std::string& path);

} // namespace tessera
