#include "cli/DiffCommand.h"

#include "cli/CommandParser.h"
#include "cli/ProcessEnd.h"
#include "cli/TerminalText.h"
#include "cli/TreeArguments.h"
#include "compare/TreeComparison.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "snapshot/StoredName.h"

#include "json/JsonWriter.h"
#include <cstdio>
#include <cstdlib>

namespace tessera::cli {
namespace {

constexpr const char* kUsage =
    "usage: tessera diff BEFORE AFTER [--json] [--limit N] [--size-mode MODE] [-log N]\n";

struct DiffOptions {
    std::string before;
    std::string after;
    bool json = false;
    std::size_t limit = 20;
    SizeMode sizeMode = SizeMode::fileSize;
};

std::string amount(std::int64_t value, SizeMode mode) {
    return mode == SizeMode::childCount ? formatCount(value) : formatByteCount(value);
}

std::string signedAmount(std::int64_t value, SizeMode mode) {
    if (value == 0) return "0";
    return (value > 0 ? "+" : "-") + amount(value > 0 ? value : -value, mode);
}

// A path as listed: relative to the tree's root, a folder ending in "/".
std::string listedPath(const File& file) {
    std::string path = file.relativePath();
    if (file.isDirectory()) path += '/';
    return path;
}

void printText(const TreeComparison& comparison, const DiffOptions& options) {
    const SizeMode mode = options.sizeMode;
    const std::int64_t before = comparison.before().size(mode);
    const std::int64_t after = comparison.after().size(mode);
    std::printf("%s -> %s\n", escapeForTerminal(options.before).c_str(),
                escapeForTerminal(options.after).c_str());
    std::printf("  size   %s -> %s (%s)\n", amount(before, mode).c_str(),
                amount(after, mode).c_str(), signedAmount(after - before, mode).c_str());
    const std::int64_t filesBefore = comparison.before().fileCount();
    const std::int64_t filesAfter = comparison.after().fileCount();
    std::printf("  files  %s -> %s (%s)\n", formatCount(filesBefore).c_str(),
                formatCount(filesAfter).c_str(),
                signedAmount(filesAfter - filesBefore, SizeMode::childCount).c_str());
    const ChangeCounts& counts = comparison.counts();
    std::printf("  %s grown, %s shrunk, %s new, %s gone, %s renamed or moved\n",
                formatCount(counts.grown).c_str(), formatCount(counts.shrunk).c_str(),
                formatCount(counts.added).c_str(), formatCount(counts.removed).c_str(),
                formatCount(counts.renamed).c_str());
    const auto& changes = comparison.changes();
    if (changes.empty()) {
        std::printf("no changes\n");
        return;
    }
    std::printf("largest changes:\n");
    std::size_t shown = 0;
    for (const EntryChange& change : changes) {
        if (options.limit != 0 && shown++ == options.limit) break;
        const std::string path = escapeForTerminal(listedPath(change.entry()));
        if (change.kind == ChangeKind::renamed) {
            std::printf("  %12s  %-7s  %s -> %s\n", amount(change.sizeAfter, mode).c_str(),
                        changeKindName(change.kind),
                        escapeForTerminal(listedPath(*change.before)).c_str(), path.c_str());
        } else if (change.kind == ChangeKind::grown || change.kind == ChangeKind::shrunk) {
            std::printf(
                "  %12s  %-7s  %s (%s -> %s)\n", signedAmount(change.difference(), mode).c_str(),
                changeKindName(change.kind), path.c_str(), amount(change.sizeBefore, mode).c_str(),
                amount(change.sizeAfter, mode).c_str());
        } else {
            std::printf("  %12s  %-7s  %s\n", signedAmount(change.difference(), mode).c_str(),
                        changeKindName(change.kind), path.c_str());
        }
    }
    if (options.limit != 0 && changes.size() > options.limit)
        std::printf("  ... and %s more (--limit 0 lists all)\n",
                    formatCount(static_cast<std::int64_t>(changes.size() - options.limit)).c_str());
}

void printJson(const TreeComparison& comparison, const DiffOptions& options) {
    const SizeMode mode = options.sizeMode;
    std::string out;
    JsonWriter json(out, false);
    auto tree = [&](const char* key, const std::string& path, const Directory& root) {
        json.key(key);
        json.beginObject();
        json.key("path");
        json.string(toStoredName(path));
        json.key("size");
        json.integer(root.size(mode));
        json.key("fileCount");
        json.integer(root.fileCount());
        json.endObject();
    };
    json.beginObject();
    tree("before", options.before, comparison.before());
    tree("after", options.after, comparison.after());
    json.key("sizeMode");
    json.string(rawValue(mode));
    const ChangeCounts& counts = comparison.counts();
    json.key("counts");
    json.beginObject();
    for (const auto& [key, count] :
         {std::pair{"grown", counts.grown}, std::pair{"shrunk", counts.shrunk},
          std::pair{"new", counts.added}, std::pair{"gone", counts.removed},
          std::pair{"renamed", counts.renamed}}) {
        json.key(key);
        json.integer(count);
    }
    json.endObject();
    json.key("changes");
    json.beginArray();
    std::size_t shown = 0;
    for (const EntryChange& change : comparison.changes()) {
        if (options.limit != 0 && shown++ == options.limit) break;
        json.beginObject();
        json.key("kind");
        json.string(changeKindName(change.kind));
        json.key("path");
        json.string(toStoredName(change.entry().relativePath()));
        if (change.kind == ChangeKind::renamed) {
            json.key("previousPath");
            json.string(toStoredName(change.before->relativePath()));
        }
        json.key("folder");
        json.boolean(change.entry().isDirectory());
        json.key("sizeBefore");
        json.integer(change.sizeBefore);
        json.key("sizeAfter");
        json.integer(change.sizeAfter);
        json.key("difference");
        json.integer(change.difference());
        json.key("fileCount");
        json.integer(change.entry().size(SizeMode::childCount));
        json.endObject();
    }
    json.endArray();
    json.endObject();
    std::printf("%s\n", out.c_str());
}

} // namespace

int runDiffCommand(std::span<const std::string> arguments) {
    DiffOptions options;
    std::string limit;
    std::string sizeMode;
    CommandParser parser(
        "diff",
        "Compares two trees of one place (folders, scanned, or snapshots) and prints what\n"
        "changed: files that grew or shrank, entries that came or went, folders renamed or\n"
        "moved (found by their contents), the largest change first.\n",
        kUsage);
    CLI::App& app = parser.app();
    app.add_option("BEFORE", options.before, "the earlier tree: a folder or snapshot")->required();
    app.add_option("AFTER", options.after, "the later tree: a folder or snapshot")->required();
    app.add_flag("--json", options.json, "print the comparison as JSON");
    app.add_option("--limit", limit, "the changes listed (default 20, 0 for all)")->type_name("N");
    app.add_option("--size-mode", sizeMode, "fileSize (default), allocatedFileSize or childCount");
    if (const auto ended = parser.parse(arguments)) return *ended;
    if (parser.given("--limit")) {
        char* end = nullptr;
        const long long value = std::strtoll(limit.c_str(), &end, 10);
        if (end == limit.c_str() || *end != '\0' || value < 0)
            return parser.refuse("--limit wants a count, 0 for all, not " + limit);
        options.limit = static_cast<std::size_t>(value);
    }
    if (parser.given("--size-mode")) {
        const auto mode = sizeModeFromRaw(sizeMode);
        if (!mode) return parser.refuse("unknown size mode " + sizeMode);
        options.sizeMode = *mode;
    }
    std::string beforePath = options.before;
    std::string afterPath = options.after;
    FilePtr before = loadTreeArgument(beforePath, "diff");
    if (!before) return 1;
    FilePtr after = loadTreeArgument(afterPath, "diff");
    if (!after) return 1;
    if (!before->isDirectory() || !after->isDirectory()) {
        std::fprintf(
            stderr, "tessera diff: %s holds a single file, not a tree\n",
            escapeForTerminal(before->isDirectory() ? options.after : options.before).c_str());
        return 1;
    }
    {
        const TreeComparison comparison(*before->asDirectory(), *after->asDirectory(),
                                        options.sizeMode);
        if (options.json)
            printJson(comparison, options);
        else
            printText(comparison, options);
    }
    keepUntilProcessEnd(std::move(before));
    keepUntilProcessEnd(std::move(after));
    return 0;
}

} // namespace tessera::cli
