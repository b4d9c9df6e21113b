// The owner of one opened location's tree: it scans a live folder (or reads a snapshot), keeps
// the tree in line with the disk from inotify events, answers names and file questions about its
// nodes, trashes and moves them, and tells its observers of every change. Every change of the
// tree runs on the main thread through performUpdate(), which a search can pause.
#pragma once

#include "controller/EntriesLeftOut.h"
#include "controller/LiveChangePlan.h"
#include "controller/LiveWatch.h"
#include "controller/ScanPreview.h"
#include "favorites/Favorite.h"
#include "model/Callbacks.h"
#include "model/Directory.h"
#include "platform/FileSystem.h"
#include "platform/InotifyWatcher.h"
#include "platform/MainQueue.h"
#include "platform/MountWatcher.h"
#include "platform/OperationQueue.h"
#include "platform/Trash.h"
#include "scan/LinksCountedOnce.h"
#include "scan/ScanOperation.h"
#include "scan/VolumeAccount.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <expected>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessera {

class ChangeReporter;
class FileControllerObserver;
class HardLinkIndex;

class FileController final : public FavoriteController,
                             public ScanOperationDelegate,
                             public std::enable_shared_from_this<FileController> {
public:
    using Update = std::move_only_function<void()>;

    /// A controller of the folder or snapshot at `path`. With `rootFile`, it shows that tree as a
    /// snapshot. Otherwise a location whose name ends in ".fssnapshot", or any location that is
    /// not a folder, is read as a snapshot (a file that does not decode leaves it without a
    /// tree); a folder is live and is scanned once a favourite attaches it.
    static std::shared_ptr<FileController> create(std::string path, DirectoryPtr rootFile = {},
                                                  MainQueue& mainQueue = MainQueue::shared());
    ~FileController() override;

    // Observers, told of every change in the order they were added. Main thread; an observer
    // removes itself before it goes away (also from within a notification).
    void addObserver(FileControllerObserver& observer);
    void removeObserver(FileControllerObserver& observer);

    const std::string& rootPath() const { return rootPath_; }
    /// The tree; while the first scan runs and a picture of it is wanted, the picture of the
    /// folders listed so far (showsScanPreview()).
    Directory* rootFile() const {
        return rootFile_ ? rootFile_.get() : preview_ ? preview_->root() : nullptr;
    }
    /// The tree itself, never the picture of a scan still running: what is exported, compared
    /// and acted on.
    Directory* loadedRootFile() const { return rootFile_.get(); }
    /// Asks the first scan for a picture of what it has listed while it runs: the root is then
    /// a preview tree (ScanPreview) until the scan's own tree replaces it. Set before the scan.
    void setWantsScanPreview(bool wants) { wantsScanPreview_ = wants; }
    /// True while the root is the picture of a scan still running: its nodes stand for what
    /// has been listed, and nothing can be done to them.
    bool showsScanPreview() const { return !rootFile_ && preview_ && preview_->root(); }
    bool isSnapshot() const { return isSnapshot_; }
    /// True once a live location's tree is gone: the folder was deleted, or was not there to
    /// scan.
    bool hasEnded() const { return !isSnapshot_ && hasLoaded_ && !rootFile_; }
    /// False once watching the location for changes has failed: the tree then stays as it
    /// was measured (an error line in the log says why).
    bool isLive() const { return !isSnapshot_ && isLive_; }
    /// Why the tree stopped following the disk; empty while it follows it.
    const std::string& notLiveReason() const { return notLiveReason_; }
    /// Folders below the root that inotify does not watch (the user's watch budget,
    /// fs.inotify.max_user_watches, is spent): their changes are noticed by polling, a few
    /// seconds late.
    std::size_t polledFolderCount() const { return polledFolders_; }
    /// Called on the main thread when the tree stops following the disk, and when the number
    /// of polled folders changes.
    Callbacks<>& followingChanged() { return followingChanged_; }
    /// Scans started and not finished yet (the first scan and the live updates' measurements).
    int scanOperationCount() const;
    Favorite* favorite() const { return favorite_; }
    OperationQueue& operationQueue() { return *operationQueue_; }

    // FavoriteController: attach, start, detach. The favourite's counting of hard links is
    // followed from then on.
    void setFavorite(Favorite* favorite) override;
    /// Scans a live location and starts watching it for changes.
    void startScan() override;
    /// Stops watching, cancels queued scans and drops held-back updates.
    void detach() override;
    std::optional<std::int64_t> rootSize() const override;
    /// Where the space of the live tree's volume went (asks the volume and the mount table
    /// now); none for a snapshot, before the first scan's tree, or when the volume cannot be
    /// asked. Unreadable and excluded entries are those of the tree as it is now (EntriesLeftOut).
    std::optional<VolumeAccount> volumeAccount() const;

    /// How a live tree counts a file with several names in it: at each name, or once, at the
    /// first of them in the graph's order when its names last changed (the others are then
    /// counted elsewhere and show no size). The tree keeps the choice through its changes; a
    /// snapshot keeps the sizes it was stored with.
    void setHardLinkCounting(HardLinkCounting counting);
    HardLinkCounting hardLinkCounting() const { return hardLinkCounting_; }
    /// The absolute path of the name at which the file that `name` stands for is counted, when
    /// `name` is counted elsewhere and that name is known.
    std::optional<std::string> countingNameOf(const File& name) const;

    // ScanOperationDelegate (main thread).
    void scanOperationDidUpdateProgress(const ScanProgress& progress) override;
    void scanOperationDidFinish(FilePtr root, const std::string& path,
                                ScanLeftOut leftOut) override;
    void scanOperationDidListFolders(std::vector<FolderListing> listed,
                                     std::vector<const void*> finished) override;

    /// Main thread: runs `work` now, or holds it back while updates are paused.
    void performUpdate(Update work);
    /// Holds tree updates back (a search or a count reads the tree meanwhile) until as many
    /// resumeUpdates() as pauses.
    void pauseUpdates() {
        ++pauses_;
        isUpdateQueuePaused_ = true;
    }
    /// Runs the held-back updates in arrival order, then lets updates run again.
    void resumeUpdates();
    bool isUpdateQueuePaused() const { return isUpdateQueuePaused_; }
    std::size_t pendingUpdateCount() const { return updateQueue_.size(); }

    /// The node's absolute path.
    std::string absolutePath(const File& file) const;
    /// The absolute paths a node stands for: its own, or for the merged tail of a folder, those
    /// of the files it merges, in order.
    std::vector<std::string> itemPaths(const File& file) const;
    /// The name shown for a node, as valid UTF-8.
    std::string displayName(const File& file) const;
    /// Reads the package flag of a live folder once (Linux has no packages: it reads false).
    /// Touches that folder only: the tree map's helper threads call it for the folders they
    /// draw while the main thread waits in a display.
    void loadPackageFlag(File& file) const;

    /// The favourite's exclusion filter now leaves out the entry at the absolute `path`, or no
    /// longer does: its node leaves the tree at once, or it is measured and comes back.
    void exclusionDidChange(const std::string& path);
    /// Measures the entry at the absolute `path` again (after a command changed it), whatever
    /// the live watch heard of it.
    void measureAgain(const std::string& path);
    bool canMoveToTrash(const File& file) const;
    /// Moves the node to the trash of its volume and updates the tree. The result says where it
    /// went, for restore().
    [[nodiscard]] std::expected<platform::TrashedItem, std::string> moveToTrash(const File& file);
    /// Puts a trashed node back (undo) and updates the tree.
    [[nodiscard]] std::expected<void, std::string> restore(const platform::TrashedItem& item);
    /// Takes `file` itself out of a snapshot's tree (its nodes stand for no files), however many
    /// of its siblings share its name; false for a live tree or the root.
    bool removeFromSnapshot(File& file);
    /// Renames the node to `path` (absolute; never a copy) and updates the tree.
    [[nodiscard]] std::expected<void, std::string> move(const File& file, const std::string& path);

    /// Main thread: the update step for a change at absolute paths `oldPath` (gone from there)
    /// and `newPath` (to be measured): the node moves, disappears, or is measured again.
    /// With `inPlace`, `newPath` is an entry whose own contents or attributes changed.
    void applyUpdate(const std::optional<std::string>& oldPath,
                     const std::optional<std::string>& newPath, bool inPlace = false);
    /// Main thread: applies one change planned from the watcher's events.
    void apply(const LiveChange& change);

private:
    struct EntryBatch;
    class MeasurementDelegate;
    enum class Measurement { subScan, remeasure };

    FileController(std::string path, MainQueue& mainQueue);

    /// Queues the watchers' start unless they run; false when they already run.
    bool startWatching(platform::InotifyWatcher::Coverage coverage);
    /// A folder over the watch limit: counted, and logged.
    void notePolledFolder(const std::string& path);
    bool coveredByBurst(const std::string& path);
    /// A volume mounted or unmounted below the root.
    void applyVolumeEvent(const platform::VolumeEvent& event);
    void queueEntryBatch(const std::string& folder, std::shared_ptr<EntryBatch> batch);
    /// `leftOut`: what the batch left out, at or below its entries.
    void applyEntries(const std::string& folder,
                      std::vector<std::pair<std::string, FilePtr>> measured,
                      const ScanLeftOut& leftOut);
    void applyRootMoved(const std::string& path);
    void applyRootDeleted();
    void requestMeasurement(const std::string& path, Measurement kind);
    /// Runs an update now and tells the observers when it changed what the tree leaves out.
    void runUpdate(Update& work);
    void measurementDidFinish(FilePtr root, const std::string& path, Measurement kind,
                              const ScanLeftOut& leftOut);
    /// The entries left out at or below `top` (a path from the root) are those of `leftOut`.
    void noteLeftOut(std::string_view top, const ScanLeftOut& leftOut);
    /// Nothing is left out at or below `top` any more: gone from the tree.
    void forgetLeftOut(std::string_view top);
    void insertScanResult(FilePtr root, const std::string& path);
    void reconcile(File& existing, FilePtr fresh);
    /// A file measured again takes all of its fresh figures and dates.
    void updateFigures(File& existing, FilePtr fresh);
    /// Gives a node new dates and tells the observers; false when the node cannot hold them.
    bool updateDates(File& file, Date creation, Date modification);
    /// Reads the folder's dates again soon (its entries changed).
    void redateLater(const Directory& folder);
    void redateFolders();
    /// Measures again the other names (hard links) of the file at `path`, whose node is `node`
    /// (if it is in the tree yet) and whose fresh status is `status`.
    void remeasureOtherNames(const std::string& path, const File* node,
                             const platform::EntryStatus& status);
    /// A file with several names has one size and one date under all of them: the names the
    /// hard-link index knows of the file measured at `path` that show other figures than
    /// `measured` are measured again.
    void alignOtherNames(const std::string& path, const File& measured);
    /// `alignOtherNames` for every file with several names in a subtree just inserted (a new
    /// folder brings names of files that the tree already shows elsewhere).
    void alignOtherNamesBelow(const File& inserted);
    /// Adds to `others` the names in the tree of the file at `path` that the hard-link index has
    /// not met, when its link count says there are more (a name made since the file was
    /// measured). `node` is the file's node if it is in the tree, `status` its fresh status.
    void findUnmetNames(const std::string& path, const File* node,
                        const platform::EntryStatus& status, std::vector<std::string>& others);
    /// Files with several names counted once: decides again, at the next turn of the main queue,
    /// for the files whose names changed since.
    void recountLinksLater();
    void recountLinks();
    /// Gives every name counted elsewhere its figures back (each name counts again).
    void countEveryName();
    /// A name counted elsewhere counts again, with `figures`.
    void giveFiguresBack(File& name, UncountedName figures);
    /// The name is counted elsewhere from now on: its figures are taken.
    void takeFigures(File& name);
    /// `inserted` joined the tree: the files with several names it holds are decided again.
    void linksArriving(const File& inserted);
    /// `removed`, at the absolute `path`, leaves the tree: the names counted elsewhere at or
    /// below it are forgotten, and the files with several names it held are decided again.
    void linksLeaving(const File& removed, const std::string& path);
    /// The file (device, inode) with several names changed: decided again by a recount at the
    /// next turn of the main queue.
    void linkedFileChanged(std::uint64_t device, std::uint64_t inode);
    /// linkedFileChanged() for every file the hard-link index has a name of at or below the
    /// absolute `path`.
    void linkedFilesChangedAtOrBelow(const std::string& path);
    /// Adds the deltas to a node's figures in place and tells the observers.
    void resizeInPlace(File& file, std::int64_t sizeDelta, std::int64_t allocatedDelta);
    /// Takes "._name" out of the tree or measures it again after "name" came or went.
    void reconcileCompanion(const std::string& path);
    /// True when the favourite's exclusion filter leaves the absolute `path` out.
    bool isExcluded(const std::string& path) const;
    /// The path below the root, or none; the root itself gives "".
    std::optional<std::string> relativeToRoot(std::string_view path) const;
    /// Those of `paths` (absolute) at or below the root, from it.
    std::vector<std::string> relativeToRoot(const std::vector<std::string>& paths) const;
    ChangeReporter reporter();
    /// Adds `file` to `parent` and tells the observers.
    File& insert(Directory& parent, FilePtr file);
    /// Removes `file` from its parent and tells the observers.
    void erase(File& file);

    std::string rootPath_;
    DirectoryPtr rootFile_;
    bool wantsScanPreview_ = false;
    std::unique_ptr<ScanPreview> preview_; // while the first scan runs, when wanted
    bool isSnapshot_ = false;
    bool isLive_ = true;
    /// Files of the tree with several names, filled by the scan and the measurements.
    std::shared_ptr<HardLinkIndex> hardLinks_;
    std::string notLiveReason_;
    std::size_t polledFolders_ = 0;
    std::size_t watchLimitLines_ = 0; // log lines said for folders over the watch limit
    Callbacks<> followingChanged_;
    bool hasLoaded_ = false;                   // the first scan's tree was taken
    std::shared_ptr<ScanOperation> firstScan_; // until its tree is taken
    EntriesLeftOut unreadable_;
    EntriesLeftOut excluded_;
    Favorite* favorite_ = nullptr;
    Subscription favoriteChanged_;
    HardLinkCounting hardLinkCounting_ = HardLinkCounting::eachName;
    /// The names counted elsewhere, with the figures they gave up.
    std::unordered_map<const File*, UncountedName> uncounted_;
    /// Files whose names changed since the last recount (device, inode), besides those the
    /// hard-link index tells; all of them after the counting was switched on.
    std::set<std::pair<std::uint64_t, std::uint64_t>> linkedFilesChanged_;
    bool recountsEveryLink_ = false;
    bool linkRecountPosted_ = false;
    MainQueue& mainQueue_;
    std::vector<FileControllerObserver*> observers_;
    std::deque<Update> updateQueue_;
    bool isUpdateQueuePaused_ = false;
    int pauses_ = 0; // several readers may hold the updates back at once
    std::shared_ptr<MeasurementDelegate> subScanDelegate_;
    std::shared_ptr<MeasurementDelegate> remeasureDelegate_;
    /// Measurements queued and not started, so that a burst asks for each path once.
    std::vector<std::pair<std::string, std::weak_ptr<ScanOperation>>> queuedMeasurements_;
    /// Changes of one folder's entries within a short time above which its entries are measured
    /// in batches: a burst (a build writing thousands of files) then costs one operation, one
    /// lookup table and one main-thread task per batch instead of a search of the folder, a
    /// scan operation and a task per entry.
    static constexpr int kBurstThreshold = 64;
    static constexpr std::chrono::milliseconds kBurstWindow{1000};
    static constexpr std::chrono::milliseconds kBatchDelay{20};
    struct FolderActivity {
        int events = 0;
        std::chrono::steady_clock::time_point since;
    };
    std::unordered_map<std::string, FolderActivity> burstActivity_;
    std::unordered_map<std::string, std::shared_ptr<EntryBatch>> entryBatches_;
    /// Changes whenever a node joins or leaves a folder; name tables of busy folders built
    /// at an older count are built again.
    std::uint64_t membershipVersion_ = 0;
    struct FolderIndex {
        Directory* directory = nullptr;
        std::uint64_t version = 0;
        std::unordered_map<std::string_view, File*> byName;
    };
    std::unordered_map<std::string, FolderIndex> folderIndexes_;
    /// Folders (relative paths) whose dates are read again at the next turn of the main queue.
    std::unordered_set<std::string> foldersToRedate_;
    bool redatePosted_ = false;
    /// Scans started and not finished; shared so that the queue's diagnostics can read it
    /// without holding the controller (which must only ever be released on the main thread).
    std::shared_ptr<std::atomic<int>> scanOperations_;
    std::unique_ptr<OperationQueue> operationQueue_;
    std::unique_ptr<LiveWatch> liveWatch_; // delivers on the main queue until detach()
};

} // namespace tessera
