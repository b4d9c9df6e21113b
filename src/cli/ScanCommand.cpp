#include "cli/ScanCommand.h"

#include "cli/ExportOptions.h"
#include "cli/Locations.h"
#include "cli/ScanRunner.h"
#include "cli/Summary.h"
#include "cli/TerminalText.h"
#include "cli/WatchCommand.h"
#include "favorites/PredicateText.h"
#include "scan/ScanOperation.h"

#include <charconv>
#include <cstdio>
#include <optional>
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

// The exit status of a scan that finished with unreadable entries.
constexpr int kSomeUnreadable = 3;

// More threads than this are never useful for a walk, and each costs its stack.
constexpr unsigned kMostThreads = 1024;

// The diagnostic level's value: 0 to 3 (the logger itself reads it).
bool isLogLevel(const std::string& text) {
    return text.size() == 1 && text[0] >= '0' && text[0] <= '3';
}

std::optional<Options> parse(std::span<const std::string> arguments) {
    Options options;
    bool exportOptionsGiven = false;
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
            if (options.exclusion) {
                std::fprintf(stderr, "tessera scan: give one --exclude; combine predicates with "
                                     "or(...)\n");
                return std::nullopt;
            }
            if (!predicate->comparesPathOnly()) {
                std::fprintf(stderr, "tessera scan: --exclude compares the path only (scans see "
                                     "paths before sizes and dates)\n");
                return std::nullopt;
            }
            options.exclusion = std::make_shared<const Predicate>(std::move(*predicate));
        } else if (argument == "--export" && hasValue) {
            options.exportPath = arguments[++i];
            if (options.exportPath.empty()) {
                std::fprintf(stderr, "tessera scan: --export wants a file name\n");
                return std::nullopt;
            }
        } else if (argument == "--format" && hasValue) {
            auto format = parseFormat(arguments[++i]);
            if (!format) {
                std::fprintf(stderr, "tessera scan: %s\n", format.error().c_str());
                return std::nullopt;
            }
            options.exportOptions.format = *format;
            exportOptionsGiven = true;
        } else if (argument == "--keys" && hasValue) {
            auto keys = parseKeys(arguments[++i]);
            if (!keys) {
                std::fprintf(stderr, "tessera scan: %s\n", keys.error().c_str());
                return std::nullopt;
            }
            options.exportOptions.includedKeys = *keys;
            exportOptionsGiven = true;
        } else if (argument == "--threads" && hasValue) {
            const std::string& count = arguments[++i];
            unsigned threads = 0;
            const auto [end, error] =
                std::from_chars(count.data(), count.data() + count.size(), threads);
            if (error != std::errc() || end != count.data() + count.size() || threads < 1 ||
                threads > kMostThreads) {
                std::fprintf(stderr,
                             "tessera scan: --threads wants a number from 1 to %u, not %s\n",
                             kMostThreads, escapeForTerminal(count).c_str());
                return std::nullopt;
            }
            options.threads = threads;
        } else if (argument == "-log" && hasValue) {
            if (!isLogLevel(arguments[++i])) {
                std::fprintf(stderr, "tessera scan: -log wants a level from 0 to 3\n");
                return std::nullopt;
            }
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
    if (options.exportPath.empty() && exportOptionsGiven) {
        std::fprintf(stderr, "tessera scan: --format and --keys go with --export FILE\n");
        return std::nullopt;
    }
    // Refused before the scan rather than after it.
    if (auto readable = SnapshotEncoder::checkReadable(options.exportOptions); !readable) {
        std::fprintf(stderr, "tessera scan: --keys: %s\n", readable.error().c_str());
        return std::nullopt;
    }
    return options;
}

} // namespace

int runScanCommand(std::span<const std::string> arguments) {
    const auto options = parse(arguments);
    if (!options) return 2;
    const auto folder = folderToScan(options->path, "scan");
    if (!folder) return 1;
    const std::string& path = *folder;
    if (options->watch) {
        if (!options->exportPath.empty() || options->threads > 0) {
            std::fprintf(stderr, "tessera scan: --watch goes with --exclude only\n");
            return 2;
        }
        return watchFolder(path, options->exclusion);
    }

    ScanRun run = runScan(path, options->exclusion, options->threads,
                          isatty(STDERR_FILENO) != 0 && !options->json);
    if (!run.root) {
        if (run.errors == 0)
            std::fprintf(stderr, "tessera scan: nothing to scan at %s\n",
                         escapeForTerminal(path).c_str());
        return 1;
    }
    File& root = *run.root;
    int status = 0;
    if (!options->exportPath.empty()) {
        auto written = exportSnapshot(root, options->exportOptions, options->exportPath);
        if (!written) {
            std::fprintf(stderr, "tessera scan: %s\n", escapeForTerminal(written.error()).c_str());
            status = 1;
        }
    }
    const bool snapshotOnStandardOutput =
        options->exportPath == "-" || options->exportPath == "/dev/stdout";
    printSummary(root, {path, run.errors, run.seconds, options->json,
                        snapshotOnStandardOutput ? stderr : stdout});
    // As du does, scripts can tell a scan that could not read everything (though it finished).
    if (status == 0 && run.errors > 0) status = kSomeUnreadable;
    // The process ends here: the kernel takes back the whole tree at once, faster than freeing
    // millions of nodes one by one.
    [[maybe_unused]] File* kept = run.root.release();
    return status;
}

} // namespace tessera::cli
