#include "cli/ScanCommand.h"

#include "cli/CommandParser.h"
#include "cli/DistributedScan.h"
#include "cli/ExportOptions.h"
#include "cli/Locations.h"
#include "cli/ProcessEnd.h"
#include "cli/ScanRunner.h"
#include "cli/Summary.h"
#include "cli/TerminalText.h"
#include "cli/WatchCommand.h"
#include "favorites/PredicateText.h"
#include "platform/Process.h"
#include "platform/Volumes.h"
#include "scan/LinksCountedOnce.h"
#include "scan/ScanOperation.h"

#include <charconv>
#include <cstdio>
#include <expected>
#include <optional>

namespace tessera::cli {
namespace {

struct Options {
    std::string path;
    bool json = false;
    bool watch = false;
    bool mpi = false;
    HardLinkCounting hardLinks = HardLinkCounting::eachName;
    std::shared_ptr<const Predicate> exclusion;
    unsigned threads = 0;
    std::string exportPath;
    SnapshotEncoder::Options exportOptions;
};

// The exit status of a scan that finished with unreadable entries.
constexpr int kSomeUnreadable = 3;

// More threads than this are never useful for a walk, and each costs its stack.
constexpr unsigned kMostThreads = 1024;

constexpr const char* kUsage =
    "usage: tessera scan PATH [--json] [--exclude PREDICATE] [--export "
    "FILE [--format tsv|json|ncdu]\n"
    "           [--keys KEYS]] [--hard-links each|once] [--threads N] [--watch] [--mpi]\n"
    "           [-log N]\n";

// The options, or the exit status to end with (0 after --help).
std::expected<Options, int> parse(std::span<const std::string> arguments) {
    Options options;
    CommandParser parser("scan",
                         "Scans PATH on all cores and prints its size, allocated size, files,\n"
                         "folders, unreadable entries, the largest entries and the time taken.\n"
                         "Exit status: 0 when every entry was read, 3 when some could not be,\n"
                         "1 on failure, 2 for bad arguments.\n",
                         kUsage);
    CLI::App& app = parser.app();
    std::vector<std::string> exclusions;
    std::string threads;
    std::string format;
    std::string keys;
    app.add_option("PATH", options.path, "the folder to scan")->required();
    app.add_flag("--json", options.json, "print the summary as JSON");
    app.add_option("--exclude", exclusions,
                   "leave out entries whose absolute path matches the predicate")
        ->type_name("PREDICATE");
    app.add_option("--export", options.exportPath,
                   "write a snapshot of the tree to FILE (- for standard output)")
        ->type_name("FILE");
    app.add_option(
        "--format", format,
        "the snapshot's form: tsv (default), json, or ncdu (the export format of ncdu and gdu)");
    app.add_option("--keys", keys,
                   "the snapshot's columns: name,creationDate,modificationDate,size,allocatedSize");
    app.add_option("--threads", threads, "walk on N threads (1 to 1024; default: all cores)")
        ->type_name("N");
    app.add_flag("--watch", options.watch,
                 "then follow PATH, printing one JSON line per change, until interrupted");
    std::string hardLinks;
    app.add_option("--hard-links", hardLinks,
                   "count a file with several names in the tree at each name (each, the "
                   "default) or once, at its first name in the graph's order (once)")
        ->type_name("each|once");
    app.add_flag("--mpi", options.mpi,
                 "spread the scan over the processes of an MPI job (mpirun -np N tessera scan "
                 "PATH --mpi ...); the first prints and exports the whole tree");
    if (const auto ended = parser.parse(arguments)) return std::unexpected(*ended);

    if (exclusions.size() > 1)
        return std::unexpected(
            parser.refuse("give one --exclude; combine predicates with or(...)"));
    if (!exclusions.empty()) {
        auto predicate = parsePredicate(exclusions.front());
        if (!predicate) return std::unexpected(parser.refuse("--exclude: " + predicate.error()));
        if (!predicate->comparesPathOnly())
            return std::unexpected(parser.refuse(
                "--exclude compares the path only (scans see paths before sizes and dates)"));
        options.exclusion = std::make_shared<const Predicate>(std::move(*predicate));
    }
    if (parser.given("--threads")) {
        unsigned count = 0;
        const auto [end, error] =
            std::from_chars(threads.data(), threads.data() + threads.size(), count);
        if (error != std::errc() || end != threads.data() + threads.size() || count < 1 ||
            count > kMostThreads)
            return std::unexpected(parser.refuse("--threads wants a number from 1 to " +
                                                 std::to_string(kMostThreads) + ", not " +
                                                 threads));
        options.threads = count;
    }
    if (parser.given("--export") && options.exportPath.empty())
        return std::unexpected(parser.refuse("--export wants a file name"));
    if (!parser.given("--export") && (parser.given("--format") || parser.given("--keys")))
        return std::unexpected(parser.refuse("--format and --keys go with --export FILE"));
    if (parser.given("--format")) {
        auto parsed = parseFormat(format);
        if (!parsed) return std::unexpected(parser.refuse(parsed.error()));
        options.exportOptions.format = *parsed;
    }
    if (parser.given("--keys")) {
        auto parsed = parseKeys(keys);
        if (!parsed) return std::unexpected(parser.refuse(parsed.error()));
        options.exportOptions.includedKeys = *parsed;
    }
    // Refused before the scan rather than after it.
    if (auto readable = SnapshotEncoder::checkReadable(options.exportOptions); !readable)
        return std::unexpected(parser.refuse("--keys: " + readable.error()));
    if (parser.given("--hard-links")) {
        if (hardLinks == "once")
            options.hardLinks = HardLinkCounting::once;
        else if (hardLinks != "each")
            return std::unexpected(
                parser.refuse("--hard-links wants each or once, not " + hardLinks));
    }
    if (options.watch && (parser.given("--export") || parser.given("--threads") || options.mpi ||
                          parser.given("--hard-links")))
        return std::unexpected(parser.refuse("--watch goes with --exclude only"));
    return options;
}

} // namespace

int runScanCommand(std::span<const std::string> arguments) {
    const auto options = parse(arguments);
    if (!options) return options.error();
    const auto folder = folderToScan(options->path, "scan");
    if (!folder) return 1;
    const std::string& path = *folder;
    if (options->watch) return watchFolder(path, options->exclusion);

    ScanRun run;
    if (options->mpi) {
        const DistributedScanner scanner = distributedScanner();
        if (scanner == nullptr) return runInMpiHelper(arguments);
        DistributedScanRun distributed = scanner(path, options->exclusion, options->threads,
                                                 options->hardLinks == HardLinkCounting::once);
        if (!distributed.assembles) return 0;
        run = std::move(distributed.run);
    } else {
        run = runScan(path, options->exclusion, options->threads,
                      platform::standardErrorIsTerminal() && !options->json,
                      options->hardLinks == HardLinkCounting::once);
    }
    if (!run.root) {
        if (run.errors == 0)
            std::fprintf(stderr, "tessera scan: nothing to scan at %s\n",
                         escapeForTerminal(path).c_str());
        return 1;
    }
    File& root = *run.root;
    if (options->hardLinks == HardLinkCounting::once && root.asDirectory() != nullptr)
        countLinksOnce(*root.asDirectory(), standardizedPath(path), std::move(run.linkedNames),
                       SizeMode::fileSize);
    int status = 0;
    if (!options->exportPath.empty()) {
        SnapshotEncoder::Options exportOptions = options->exportOptions;
        exportOptions.rootName = path; // where ncdu shows the tree
        auto written = exportSnapshot(root, exportOptions, options->exportPath);
        if (!written) {
            std::fprintf(stderr, "tessera scan: %s\n", escapeForTerminal(written.error()).c_str());
            status = 1;
        }
    }
    const bool snapshotOnStandardOutput =
        options->exportPath == "-" || options->exportPath == "/dev/stdout";
    auto volume = accountVolume(path, root.allocatedSize(), static_cast<std::int64_t>(run.errors),
                                platform::readMounts());
    if (volume) volume->excluded = static_cast<std::int64_t>(run.excluded);
    printSummary(root, {path, run.errors, run.seconds, options->json,
                        snapshotOnStandardOutput ? stderr : stdout, std::move(volume)});
    // As du does, scripts can tell a scan that could not read everything (though it finished).
    if (status == 0 && run.errors > 0) status = kSomeUnreadable;
    keepUntilProcessEnd(std::move(run.root));
    return status;
}

} // namespace tessera::cli
