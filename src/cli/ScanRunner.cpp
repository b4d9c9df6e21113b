#include "cli/ScanRunner.h"

#include "cli/ErrorPrinter.h"
#include "model/Formatting.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace tessera::cli {
namespace {

// Draws the progress line while the scan runs and keeps its result.
class ScanListener : public ScanOperationDelegate {
public:
    explicit ScanListener(bool showProgress) : showProgress_(showProgress) {
        started_ = std::chrono::steady_clock::now();
    }
    void scanOperationDidUpdateProgress(const ScanProgress& progress) override {
        if (!showProgress_) return;
        const double seconds = elapsed();
        const std::string line =
            progressLine(progress.completedUnitCount, progress.totalUnitCount, seconds);
        std::fputs(line.c_str(), stderr);
        drewProgress_ = true;
    }
    void scanOperationDidFinish(FilePtr root, const std::string&, ScanLeftOut) override {
        seconds_ = elapsed();
        if (drewProgress_) std::fputs("\r\x1b[K", stderr);
        root_ = std::move(root);
        finished_ = true;
    }
    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

    bool finished_ = false;
    FilePtr root_;
    double seconds_ = 0;

private:
    bool showProgress_;
    bool drewProgress_ = false;
    std::chrono::steady_clock::time_point started_;
};

} // namespace

std::string progressLine(std::uint64_t completed, std::uint64_t total, double seconds) {
    std::string line =
        "\r\x1b[Kscanning: " + formatCount(static_cast<std::int64_t>(completed)) + " entries";
    if (seconds > 0)
        line += ", " +
                formatCount(static_cast<std::int64_t>(static_cast<double>(completed) / seconds)) +
                "/s";
    if (total > 0) {
        char fraction[32];
        std::snprintf(fraction, sizeof fraction, ", %.0f%%",
                      100.0 * static_cast<double>(completed) / static_cast<double>(total));
        line += fraction;
    }
    return line;
}

ScanRun runScan(const std::string& path, std::shared_ptr<const Predicate> exclusion,
                unsigned threads, bool showProgress, bool keepLinkedNames) {
    MainQueue& mainQueue = MainQueue::shared();
    LogController& log = LogController::shared();
    ErrorPrinter errors;
    log.setDelegate(&errors);
    auto listener = std::make_shared<ScanListener>(showProgress);
    ScanOperation operation(path, std::move(exclusion), false, listener, mainQueue);
    if (threads > 0) operation.setThreadCount(threads);
    std::mutex linkedMutex;
    std::vector<LinkedName> linked;
    if (keepLinkedNames)
        operation.setLinkedFileFound([&](std::string found, const platform::EntryStatus& status) {
            std::lock_guard lock(linkedMutex);
            linked.push_back({std::move(found), status.device, status.inode});
        });
    std::thread worker([&operation] { operation.main(); });
    mainQueue.runUntil([&] { return listener->finished_; }, std::chrono::hours(24 * 365));
    worker.join();
    mainQueue.runPending();
    log.setDelegate(nullptr);
    return {std::move(listener->root_), errors.count, operation.excludedCount(), listener->seconds_,
            std::move(linked)};
}

} // namespace tessera::cli
