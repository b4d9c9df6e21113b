#include "cli/SnapshotCommands.h"

#include "cli/ExportOptions.h"
#include "cli/Locations.h"
#include "cli/Summary.h"
#include "cli/TerminalText.h"
#include "platform/Files.h"
#include "snapshot/Snapshot.h"

#include <chrono>
#include <cstdio>

namespace tessera::cli {

FilePtr loadSnapshot(const std::string& path, const char* command) {
    if (!snapshotToRead(path, command)) return nullptr;
    auto root = Snapshot::loadRootFromFile(path);
    if (!root) {
        std::fprintf(stderr, "tessera %s: %s: %s\n", command, escapeForTerminal(path).c_str(),
                     escapeForTerminal(root.error().description).c_str());
        return nullptr;
    }
    return std::move(*root);
}

int runInfoCommand(std::span<const std::string> arguments) {
    SummaryContext context;
    for (const std::string& argument : arguments) {
        if (argument == "--json")
            context.json = true;
        else if (context.path.empty() && !argument.starts_with("-"))
            context.path = argument;
        else {
            std::fprintf(stderr, "usage: tessera info [--json] SNAPSHOT\n");
            return 2;
        }
    }
    if (context.path.empty()) {
        std::fprintf(stderr, "usage: tessera info [--json] SNAPSHOT\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    FilePtr root = loadSnapshot(context.path, "info");
    if (!root) return 1;
    context.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printSummary(*root, context);
    return 0;
}

int runConvertCommand(std::span<const std::string> arguments) {
    std::vector<std::string> paths;
    SnapshotEncoder::Options options;
    bool formatGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if ((argument == "--format" || argument == "--keys") && i + 1 < arguments.size()) {
            const std::string& value = arguments[++i];
            if (argument == "--format") {
                auto format = parseFormat(value);
                if (!format) {
                    std::fprintf(stderr, "tessera convert: %s\n", format.error().c_str());
                    return 2;
                }
                options.format = *format;
                formatGiven = true;
            } else {
                auto keys = parseKeys(value);
                if (!keys) {
                    std::fprintf(stderr, "tessera convert: %s\n", keys.error().c_str());
                    return 2;
                }
                options.includedKeys = *keys;
            }
        } else if (!argument.starts_with("-")) {
            paths.push_back(argument);
        } else {
            paths.clear();
            break;
        }
    }
    if (paths.size() != 2 || !formatGiven) {
        std::fprintf(stderr, "usage: tessera convert IN OUT --format tsv|json [--keys KEYS]\n");
        return 2;
    }
    if (auto readable = SnapshotEncoder::checkReadable(options); !readable) {
        std::fprintf(stderr, "tessera convert: --keys: %s\n", readable.error().c_str());
        return 2;
    }
    FilePtr root = loadSnapshot(paths[0], "convert");
    if (!root) return 1;
    auto written = exportSnapshot(*root, options, paths[1]);
    if (!written) {
        std::fprintf(stderr, "tessera convert: %s\n", escapeForTerminal(written.error()).c_str());
        return 1;
    }
    return 0;
}

} // namespace tessera::cli
