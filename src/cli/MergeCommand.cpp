#include "cli/MergeCommand.h"

#include "cli/CommandParser.h"
#include "cli/ExportOptions.h"
#include "cli/ProcessEnd.h"
#include "cli/SnapshotCommands.h"
#include "cli/TerminalText.h"
#include "snapshot/SnapshotMerge.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace tessera::cli {
namespace {

std::vector<std::string> splitNames(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        names.push_back(text.substr(start, comma - start));
    names.push_back(text.substr(start));
    return names;
}

} // namespace

int runMergeCommand(std::span<const std::string> arguments) {
    std::vector<std::string> inputs;
    std::string output;
    std::string names;
    std::string format = "tsv";
    std::string keys;
    CommandParser parser(
        "merge", "Puts several snapshots under one root, each under its own name.",
        "usage: tessera merge A B [C...] -o OUT [--names NAME,...] [--format tsv|json|ncdu]\n"
        "           [--keys KEYS] [-log N]\n");
    CLI::App& app = parser.app();
    app.add_option("SNAPSHOTS", inputs, "the snapshots to merge (any form, ncdu's included)")
        ->required()
        ->expected(2, -1);
    app.add_option("-o,--output", output, "the file to write (- for standard output)")->required();
    app.add_option("--names", names,
                   "the name of each snapshot's tree, in order (default: its root's name, or "
                   "the file's, made unique)");
    app.add_option("--format", format, "the form to write: tsv (default), json or ncdu");
    app.add_option("--keys", keys, "the columns to write (default: those all inputs have)");
    if (const auto ended = parser.parse(arguments)) return *ended;

    SnapshotEncoder::Options options;
    auto parsedFormat = parseFormat(format);
    if (!parsedFormat) return parser.refuse(parsedFormat.error());
    options.format = *parsedFormat;
    std::vector<std::string> given;
    if (parser.given("--names")) {
        given = splitNames(names);
        if (given.size() != inputs.size())
            return parser.refuse("--names gives " + std::to_string(given.size()) + " names for " +
                                 std::to_string(inputs.size()) + " snapshots");
    }
    if (parser.given("--keys")) {
        auto parsedKeys = parseKeys(keys);
        if (!parsedKeys) return parser.refuse(parsedKeys.error());
        options.includedKeys = *parsedKeys;
    }

    std::vector<FilePtr> trees;
    std::vector<std::string> treeNames;
    std::vector<FileKey> common(allFileKeys.begin(), allFileKeys.end());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        std::vector<FileKey> inputKeys;
        FilePtr tree = loadSnapshot(inputs[i], "merge", &inputKeys);
        if (!tree) return 1;
        // Columns are never made up: only those every input has.
        std::erase_if(common, [&](FileKey key) {
            return std::ranges::find(inputKeys, key) == inputKeys.end();
        });
        treeNames.push_back(
            given.empty()
                ? defaultMergeName(*tree, std::filesystem::path(inputs[i]).stem().string())
                : given[i]);
        trees.push_back(std::move(tree));
    }
    if (!parser.given("--keys")) options.includedKeys = common;
    if (auto readable = SnapshotEncoder::checkReadable(options); !readable) {
        std::fprintf(stderr, "tessera merge: the inputs lack a column that form needs: %s\n",
                     readable.error().c_str());
        return 1;
    }
    if (given.empty()) treeNames = uniqueMergeNames(std::move(treeNames));
    auto merged = mergeTrees(std::move(trees), treeNames);
    if (!merged) {
        std::fprintf(stderr, "tessera merge: %s\n", escapeForTerminal(merged.error()).c_str());
        return 1;
    }
    options.rootName = output; // ncdu's form names its root
    auto written = exportSnapshot(**merged, options, output);
    keepUntilProcessEnd(FilePtr(std::move(*merged)));
    if (!written) {
        std::fprintf(stderr, "tessera merge: %s\n", escapeForTerminal(written.error()).c_str());
        return 1;
    }
    return 0;
}

} // namespace tessera::cli
