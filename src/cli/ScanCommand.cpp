#include "cli/ScanCommand.h"

#include "cli/TerminalText.h"
#include "favorites/PredicateText.h"
#include "json/JsonWriter.h"
#include "logs/LogController.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace tessera::cli {
namespace {

constexpr std::size_t kLargestShown = 10;

struct Options {
    std::string path;
    bool json = false;
    std::shared_ptr<const Predicate> exclusion;
    unsigned threads = 0;
};

class ScanListener : public ScanOperationDelegate {
public:
    explicit ScanListener(bool showProgress) : showProgress_(showProgress) {
        started_ = std::chrono::steady_clock::now();
    }
    void scanOperationDidUpdateProgress(const ScanProgress& progress) override {
        if (!showProgress_) return;
        const double seconds = elapsed();
        std::string line = "\r\x1b[Kscanning: " + formatCount(static_cast<std::int64_t>(progress.completedUnitCount)) + " entries";
        if (seconds > 0)
            line += ", " + formatCount(static_cast<std::int64_t>(static_cast<double>(progress.completedUnitCount) / seconds)) + "/s";
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

// Reports unreadable entries on standard error as they arrive.
class ErrorPrinter : public LogsControllerDelegate {
public:
    void logsDidInsert(std::size_t row) override {
        const LogLine& line = LogController::shared().filteredLogs()[row];
        const auto& error = std::get<LogLine::ScanError>(line.logType());
        std::fprintf(stderr, "\r\x1b[Ktessera: cannot read %s: %s\n",
                     escapeForTerminal(error.path).c_str(),
                     error.error ? error.error->localizedDescription.c_str() : "unknown error");
        ++count;
    }
    void logsDidRemove(std::size_t, std::size_t) override {}
    void logsDidReload() override {}
    std::size_t count = 0;
};

std::int64_t countDirectories(const File& root) {
    std::int64_t directories = 0;
    std::vector<const Directory*> pending;
    if (const Directory* directory = root.asDirectory()) pending.push_back(directory);
    while (!pending.empty()) {
        const Directory* directory = pending.back();
        pending.pop_back();
        ++directories;
        for (const File* child : directory->contents())
            if (const Directory* sub = child->asDirectory()) pending.push_back(sub);
    }
    return directories;
}

std::optional<Options> parse(std::span<const std::string> arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--exclude" && hasValue) {
            auto predicate = parsePredicate(arguments[++i]);
            if (!predicate) {
                std::fprintf(stderr, "tessera scan: --exclude: %s\n", predicate.error().c_str());
                return std::nullopt;
            }
            options.exclusion = std::make_shared<const Predicate>(std::move(*predicate));
        } else if (argument == "--threads" && hasValue) {
            options.threads = static_cast<unsigned>(std::strtoul(arguments[++i].c_str(), nullptr, 10));
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
                             "[--threads N] [-log N]\n");
        return std::nullopt;
    }
    return options;
}

void printText(const std::string& path, const File& root, std::int64_t directories,
               std::size_t errors, double seconds, const std::vector<const File*>& largest) {
    const Directory* directory = root.asDirectory();
    const std::int64_t leaves = directory != nullptr ? directory->fileCount() : 1;
    std::printf("%s\n", escapeForTerminal(path).c_str());
    std::printf("  size            %s (%s bytes)\n", formatByteCount(root.size()).c_str(),
                formatCount(root.size()).c_str());
    std::printf("  allocated size  %s (%s bytes)\n", formatByteCount(root.allocatedSize()).c_str(),
                formatCount(root.allocatedSize()).c_str());
    std::printf("  files           %s\n", formatCount(leaves).c_str());
    std::printf("  directories     %s\n", formatCount(directories).c_str());
    std::printf("  errors          %s\n", formatCount(static_cast<std::int64_t>(errors)).c_str());
    std::printf("  time            %.3f s\n", seconds);
    if (largest.empty()) return;
    std::printf("largest entries:\n");
    for (const File* file : largest)
        std::printf("  %12s  %s%s\n", formatByteCount(file->size()).c_str(),
                    escapeForTerminal(file->path()).c_str(), file->isDirectory() ? "/" : "");
}

void printJson(const std::string& path, const File& root, std::int64_t directories,
               std::size_t errors, double seconds, const std::vector<const File*>& largest) {
    auto leavesOf = [](const File& file) {
        const Directory* directory = file.asDirectory();
        return directory != nullptr ? directory->fileCount() : 1;
    };
    std::string out;
    JsonWriter json(out, false);
    json.beginObject();
    json.key("path");
    json.string(path);
    json.key("size");
    json.integer(root.size());
    json.key("allocatedSize");
    json.integer(root.allocatedSize());
    json.key("fileCount");
    json.integer(leavesOf(root));
    json.key("directories");
    json.integer(directories);
    json.key("errors");
    json.integer(static_cast<std::int64_t>(errors));
    json.key("seconds");
    json.number(seconds);
    json.key("largest");
    json.beginArray();
    for (const File* file : largest) {
        json.beginObject();
        json.key("name");
        json.string(file->path());
        json.key("size");
        json.integer(file->size());
        json.key("allocatedSize");
        json.integer(file->allocatedSize());
        json.key("fileCount");
        json.integer(leavesOf(*file));
        json.endObject();
    }
    json.endArray();
    json.endObject();
    std::printf("%s\n", out.c_str());
}

} // namespace

int runScanCommand(std::span<const std::string> arguments) {
    const auto options = parse(arguments);
    if (!options) return 2;
    const std::string path = standardizedPath(options->path);

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
        if (errors.count == 0) std::fprintf(stderr, "tessera scan: nothing to scan at %s\n", escapeForTerminal(path).c_str());
        return 1;
    }
    File& root = *listener->root_;
    std::vector<const File*> largest;
    if (Directory* directory = root.asDirectory()) {
        directory->sortContents(SizeMode::fileSize);
        for (const File* child : directory->contents()) {
            if (largest.size() == kLargestShown) break;
            largest.push_back(child);
        }
    }
    const std::int64_t directories = countDirectories(root);
    if (options->json)
        printJson(path, root, directories, errors.count, listener->seconds_, largest);
    else
        printText(path, root, directories, errors.count, listener->seconds_, largest);
    // The process ends here: the kernel takes back the whole tree at once, faster than freeing
    // millions of nodes one by one.
    [[maybe_unused]] File* kept = listener->root_.release();
    return 0;
}

} // namespace tessera::cli
