#include "cli/CommandLine.h"

#include "cli/DiffCommand.h"
#include "cli/MergeCommand.h"
#include "cli/RenderCommand.h"
#include "cli/ScanCommand.h"
#include "cli/SnapshotCommands.h"

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace tessera::cli {

bool isCommand(std::string_view word) {
    return word == "scan" || word == "info" || word == "convert" || word == "merge" ||
           word == "render" || word == "diff";
}

const char* const kUsage =
    "usage: tessera [--software-rendering] [--new-instance] [--home] [PATH|SNAPSHOT...]\n"
    "       tessera --sequence A B [C...]\n"
    "       tessera COMMAND [ARGUMENTS] (scan, info, convert, merge, render, diff;\n"
    "       COMMAND --help)\n";

const char* const kCommandsSummary =
    "Commands (no display needed; tessera COMMAND --help for each):\n"
    "  scan PATH        scans PATH on all cores and prints its size, allocated size,\n"
    "                   files, folders, unreadable entries and the largest entries;\n"
    "                   --export FILE writes a snapshot, --watch follows changes\n"
    "  info SNAPSHOT    reads a snapshot and prints the same summary\n"
    "  convert IN OUT   rewrites a snapshot in the other form\n"
    "  merge A B -o OUT puts several snapshots under one root, each under its own\n"
    "                   name\n"
    "  render PATH      draws the pie chart or tree map of a folder or snapshot as a\n"
    "                   PNG picture; --sequence A B --at V draws the morph between trees\n"
    "  diff A B         prints what changed between two trees (folders or snapshots):\n"
    "                   files grown or shrunk, entries new or gone, folders renamed\n"
    "\n"
    "-log N (0 to 3) writes diagnostics to standard error.\n";

int runCommandLine(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::span<const std::string> rest(arguments.begin() + 1, arguments.end());
    if (arguments[0] == "scan") return runScanCommand(rest);
    if (arguments[0] == "info") return runInfoCommand(rest);
    if (arguments[0] == "convert") return runConvertCommand(rest);
    if (arguments[0] == "merge") return runMergeCommand(rest);
    if (arguments[0] == "render") return runRenderCommand(rest);
    if (arguments[0] == "diff") return runDiffCommand(rest);
    std::fprintf(stderr, "tessera: unknown command '%s'\n%s", arguments[0].c_str(), kUsage);
    return 2;
}

} // namespace tessera::cli
