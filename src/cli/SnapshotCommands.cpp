#include "cli/SnapshotCommands.h"

#include "cli/CommandParser.h"
#include "cli/ExportOptions.h"
#include "cli/Locations.h"
#include "cli/ProcessEnd.h"
#include "cli/Summary.h"
#include "cli/TerminalText.h"
#include "platform/Files.h"
#include "snapshot/Snapshot.h"

#include <chrono>
#include <cstdio>

namespace tessera::cli {

FilePtr loadSnapshot(const std::string& path, const char* command, std::vector<FileKey>* keys) {
    if (!snapshotToRead(path, command)) return nullptr;
    auto root = Snapshot::loadRootFromFile(path, keys);
    if (!root) {
        std::fprintf(stderr, "tessera %s: %s: %s\n", command, escapeForTerminal(path).c_str(),
                     escapeForTerminal(root.error().description).c_str());
        return nullptr;
    }
    return std::move(*root);
}

int runInfoCommand(std::span<const std::string> arguments) {
    SummaryContext context;
    CommandParser parser("info", "Reads a snapshot and prints the same summary as scan.",
                         "usage: tessera info [--json] SNAPSHOT [-log N]\n");
    parser.app()
        .add_option("SNAPSHOT", context.path, "the snapshot file (- for standard input)")
        ->required();
    parser.app().add_flag("--json", context.json, "print the summary as JSON");
    if (const auto ended = parser.parse(arguments)) return *ended;
    const auto start = std::chrono::steady_clock::now();
    FilePtr root = loadSnapshot(context.path, "info");
    if (!root) return 1;
    context.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printSummary(*root, context);
    keepUntilProcessEnd(std::move(root));
    return 0;
}

int runConvertCommand(std::span<const std::string> arguments) {
    std::string input;
    std::string output;
    std::string format;
    std::string keys;
    CommandParser parser(
        "convert", "Rewrites a snapshot in the other form.",
        "usage: tessera convert IN OUT --format tsv|json|ncdu [--keys KEYS] [-log N]\n");
    CLI::App& app = parser.app();
    app.add_option("IN", input, "the snapshot to read (- for standard input)")->required();
    app.add_option("OUT", output, "the file to write (- for standard output)")->required();
    app.add_option("--format", format,
                   "the form to write: tsv, json, or ncdu (the export format of ncdu and gdu)")
        ->required();
    app.add_option("--keys", keys,
                   "the columns to write: name,creationDate,modificationDate,size,allocatedSize "
                   "(default: those of IN)");
    if (const auto ended = parser.parse(arguments)) return *ended;
    SnapshotEncoder::Options options;
    auto parsedFormat = parseFormat(format);
    if (!parsedFormat) return parser.refuse(parsedFormat.error());
    options.format = *parsedFormat;
    if (parser.given("--keys")) {
        auto parsedKeys = parseKeys(keys);
        if (!parsedKeys) return parser.refuse(parsedKeys.error());
        options.includedKeys = *parsedKeys;
    }
    if (auto readable = SnapshotEncoder::checkReadable(options); !readable)
        return parser.refuse("--keys: " + readable.error());
    // The input's own columns, unless told otherwise: a conversion adds none it did not have.
    std::vector<FileKey> inputKeys;
    FilePtr root = loadSnapshot(input, "convert", &inputKeys);
    if (!root) return 1;
    if (!parser.given("--keys")) {
        options.includedKeys = inputKeys;
        // Columns are never made up: an input without what the other form needs is refused.
        if (auto readable = SnapshotEncoder::checkReadable(options); !readable) {
            std::fprintf(stderr, "tessera convert: %s lacks a column that form needs: %s\n",
                         escapeForTerminal(input).c_str(), readable.error().c_str());
            return 1;
        }
    }
    options.rootName = input; // where the tree came from, for ncdu's form
    auto written = exportSnapshot(*root, options, output);
    keepUntilProcessEnd(std::move(root));
    if (!written) {
        std::fprintf(stderr, "tessera convert: %s\n", escapeForTerminal(written.error()).c_str());
        return 1;
    }
    return 0;
}

} // namespace tessera::cli
