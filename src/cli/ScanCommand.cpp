#include "cli/ScanCommand.h"

#include "cli/ErrorPrinter.h"
#include "cli/ExportOptions.h"
#include "cli/Summary.h"
#include "cli/TerminalText.h"
#include "cli/WatchCommand.h"
#include "favorites/PredicateText.h"
#include "logs/LogController.h"
#include "model/Formatting.h"
#include "platform/Files.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"
#include "snapshot/Snapshot.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <unistd.h>

namespace tessera::cli {
namespace {

struct Options {
    std::string path;
    bool json = false;
    bool watch = false;
    std::shared_ptr<const Predicate> exclusion;
    unsigned threads = 0;
    std::string exportPath;
    SnapshotEncoder::Options exportOptions;
};

class ScanListener : public ScanOperationDelegate {
public:
    explicit ScanListener(bool showProgress) : showProgress_(showProgress) {
        started_ = std::chrono::steady_clock::now();
    }
    void scanOperationDidUpdateProgress(const ScanProgress& progress) override {
        if (!showProgress_) return;
        const double seconds = elapsed();
        std::string line = "\r\x1b[Kscanning: " +
                           formatCount(static_cast<std::int64_t>(progress.completedUnitCount)) +
                           " entries";
        if (seconds > 0)
            line += ", " +
                    formatCount(static_cast<std::int64_t>(
                        static_cast<double>(progress.completedUnitCount) / seconds)) +
                    "/s";
        if (progress.totalUnitCount > 0) {
            char fraction[32];
            std::snprintf(fraction, sizeof fraction, ", %.0f%%",
                          100.0 * static_cast<double>(progress.completedUnitCount) /
                              static_cast<double>(progress.totalUnitCount));
            line += fraction;
        }
        std::fputs(line.c_str(), stderr);
        drewProgress_ = true;
    }
    void scanOperationDidFinish(FilePtr root, const std::string&) override {
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

std::optional<Options> parse(std::span<const std::string> arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--watch") {
            options.watch = true;
        } else if (argument == "--exclude" && hasValue) {
            auto predicate = parsePredicate(arguments[++i]);
            if (!predicate) {
                std::fprintf(stderr, "tessera scan: --exclude: %s\n", predicate.error().c_str());
                return std::nullopt;
            }
            options.exclusion = std::make_shared<const Predicate>(std::move(*predicate));
        } else if (argument == "--export" && hasValue) {
            options.exportPath = arguments[++i];
        } else if (argument == "--format" && hasValue) {
            auto format = parseFormat(arguments[++i]);
            if (!format) {
                std::fprintf(stderr, "tessera scan: %s\n", format.error().c_str());
                return std::nullopt;
            }
            options.exportOptions.format = *format;
        } else if (argument == "--keys" && hasValue) {
            auto keys = parseKeys(arguments[++i]);
            if (!keys) {
                std::fprintf(stderr, "tessera scan: %s\n", keys.error().c_str());
                return std::nullopt;
            }
            options.exportOptions.includedKeys = *keys;
        } else if (argument == "--threads" && hasValue) {
            options.threads =
                static_cast<unsigned>(std::strtoul(arguments[++i].c_str(), nullptr, 10));
        } else if (argument == "-log" && hasValue) {
            ++i; // read by the logger itself
        } else if (!argument.starts_with("-") && options.path.empty()) {
            options.path = argument;
        } else {
            std::fprintf(stderr, "tessera scan: unexpected argument %s\n",
                         escapeForTerminal(argument).c_str());
            return std::nullopt;
        }
    }
    if (options.path.empty()) {
        std::fprintf(stderr, "usage: tessera scan PATH [--json] [--exclude PREDICATE] "
                             "[--export FILE [--format tsv|json] [--keys KEYS]] [--threads N] "
                             "[--watch] [-log N]\n");
        return std::nullopt;
    }
    return options;
}

} // namespace

int runScanCommand(std::span<const std::string> arguments) {
    const auto options = parse(arguments);
    if (!options) return 2;
    const std::string path = standardizedPath(options->path);
    if (options->watch) {
        if (!options->exportPath.empty() || options->threads > 0) {
            std::fprintf(stderr, "tessera scan: --watch goes with --exclude only\n");
            return 2;
        }
        return watchFolder(path, options->exclusion);
    }

    MainQueue& mainQueue = MainQueue::shared();
    LogController& log = LogController::shared();
    ErrorPrinter errors;
    log.setDelegate(&errors);

    auto listener = std::make_shared<ScanListener>(isatty(STDERR_FILENO) != 0 && !options->json);
    ScanOperation operation(path, options->exclusion, false, listener, mainQueue);
    if (options->threads > 0) operation.setThreadCount(options->threads);
    std::thread worker([&operation] { operation.main(); });
    mainQueue.runUntil([&] { return listener->finished_; }, std::chrono::hours(24 * 365));
    worker.join();
    mainQueue.runPending();
    log.setDelegate(nullptr);

    if (!listener->root_) {
        if (errors.count == 0)
            std::fprintf(stderr, "tessera scan: nothing to scan at %s\n",
                         escapeForTerminal(path).c_str());
        return 1;
    }
    File& root = *listener->root_;
    int status = 0;
    if (!options->exportPath.empty()) {
        auto written = exportSnapshot(root, options->exportOptions, options->exportPath);
        if (!written) {
            std::fprintf(stderr, "tessera scan: %s\n", escapeForTerminal(written.error()).c_str());
            status = 1;
        }
    }
    printSummary(root, {path, errors.count, listener->seconds_, options->json});
    // The process ends here: the kernel takes back the whole tree at once, faster than freeing
    // millions of nodes one by one.
    [[maybe_unused]] File* kept = listener->root_.release();
    return status;
}

} // namespace tessera::cli
