#include "cli/CommandLine.h"

#include "cli/RenderCommand.h"
#include "cli/ScanCommand.h"
#include "cli/SnapshotCommands.h"

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace tessera::cli {

bool isCommand(std::string_view word) {
    return word == "scan" || word == "info" || word == "convert" || word == "render";
}

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: tessera [--software-rendering] [--new-instance] [--home] [PATH|SNAPSHOT...]\n"
        "       tessera --sequence A B [C...]\n"
        "       tessera COMMAND [ARGUMENTS]\n"
        "       tessera --help | --version\n"
        "\n"
        "Without a command, opens the app: each PATH (a folder, scanned and kept up to\n"
        "date) or SNAPSHOT in a window of its own, or the favourites window when none is\n"
        "given.\n"
        "When the app already runs in this session, the paths open there instead.\n"
        "  --software-rendering  draw with the CPU instead of OpenGL\n"
        "  --new-instance        run on its own even when the app already runs\n"
        "  --home                open the home folder\n"
        "  --sequence A B [C...] compare trees (folders or snapshots) in one window, with\n"
        "                        a slider that morphs each into the next\n"
        "\n"
        "Commands (no display needed):\n"
        "  scan PATH [--json] [--exclude PREDICATE] [--threads N] [--watch]\n"
        "      Scans PATH on all cores and prints its size, allocated size, files,\n"
        "      directories, unreadable entries, the largest entries and the time taken.\n"
        "      --exclude leaves out entries whose absolute path matches, for example\n"
        "      'or(path endswith \"/node_modules\", path contains[cd] \"cache\")'.\n"
        "      --export FILE writes a snapshot (--format tsv|json, default tsv; --keys a\n"
        "      comma-separated list of name,creationDate,modificationDate,size,\n"
        "      allocatedSize, default all five). A file is replaced whole and keeps its\n"
        "      permissions; a device or FIFO is written through; - is standard output\n"
        "      (the summary then goes to standard error). --watch keeps following PATH\n"
        "      and prints one JSON line per change until interrupted.\n"
        "  info [--json] SNAPSHOT\n"
        "      Reads a snapshot and prints the same summary as scan.\n"
        "  convert IN OUT --format tsv|json [--keys KEYS]\n"
        "      Rewrites a snapshot in the other form.\n"
        "  render PATH|SNAPSHOT -o OUT.png [--size WxH] [--levels N] [--dark]\n"
        "         [--color-mode hueWheel|creationDate|modificationDate]\n"
        "         [--size-mode fileSize|allocatedFileSize|childCount] [--show PATH]\n"
        "         [--graph pie|treemap] [--layout stack|snake|spiral|spiralSnake]\n"
        "         [--border RATIO] [--no-keep-aspect] [--bottom-edge]\n"
        "      Draws the pie chart (or tree map) of PATH (scanned) or of a snapshot, or\n"
        "      of the folder --show names inside it, as a PNG picture.\n"
        "  render --sequence A B [C...] --at V -o OUT.png [the options above]\n"
        "      Draws the morph between trees (folders or snapshots) at slider value V:\n"
        "      0 is A, 1 is B, 0.5 halfway from A to B.\n"
        "\n"
        "Every command accepts -log N (0 to 3) for diagnostics on standard error.\n",
        out);
}

int runCommandLine(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        printUsage(arguments.empty() ? stderr : stdout);
        return arguments.empty() ? 2 : 0;
    }
    const std::span<const std::string> rest(arguments.begin() + 1, arguments.end());
    if (arguments[0] == "scan") return runScanCommand(rest);
    if (arguments[0] == "info") return runInfoCommand(rest);
    if (arguments[0] == "convert") return runConvertCommand(rest);
    if (arguments[0] == "render") return runRenderCommand(rest);
    std::fprintf(stderr, "tessera: unknown command '%s'\n", arguments[0].c_str());
    printUsage(stderr);
    return 2;
}

} // namespace tessera::cli
