#include "cli/RenderCommand.h"

#include "cli/ScanRunner.h"
#include "cli/SnapshotCommands.h"
#include "cli/TerminalText.h"
#include "graph/Palette.h"
#include "layouts/DrawPieChart.h"
#include "layouts/DrawTreeMap.h"
#include "model/Directory.h"
#include "model/FileEnums.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"
#include "render/PngWriter.h"
#include "render/RasterCanvas.h"
#include "scan/ScanOperation.h"

#include <cstdio>
#include <optional>
#include <unistd.h>

namespace tessera::cli {
namespace {

struct Options {
    std::string path;
    std::string output;
    int width = 1600;
    int height = 1000;
    int levels = 8;
    int samples = 3;
    ColorMode colorMode = ColorMode::hueWheel;
    SizeMode sizeMode = SizeMode::fileSize;
    bool dark = false;
    std::string show;
    bool treeMap = false;
    DrawTreeMap::Layout layout = DrawTreeMap::Layout::spiralSnake;
    double border = 0;
    bool keepAspect = false;
    bool bottomEdge = false;
};

constexpr const char* kUsage =
    "usage: tessera render PATH|SNAPSHOT -o OUT.png [--size WxH] [--levels N]\n"
    "           [--color-mode hueWheel|creationDate|modificationDate]\n"
    "           [--size-mode fileSize|allocatedFileSize|childCount] [--dark]\n"
    "           [--show PATH-INSIDE] [--samples N]\n"
    "           [--graph pie|treemap] [--layout stack|snake|spiral|spiralSnake]\n"
    "           [--border RATIO] [--keep-aspect] [--bottom-edge]\n";

std::optional<Options> parse(std::span<const std::string> arguments) {
    Options options;
    auto fail = [](const std::string& why) {
        std::fprintf(stderr, "tessera render: %s\n%s", escapeForTerminal(why).c_str(), kUsage);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if ((argument == "-o" || argument == "--output") && hasValue) {
            options.output = arguments[++i];
        } else if (argument == "--size" && hasValue) {
            const std::string& size = arguments[++i];
            if (std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height) != 2 ||
                options.width < 16 || options.height < 16 || options.width > 16384 ||
                options.height > 16384)
                return fail("--size wants WIDTHxHEIGHT between 16 and 16384, not " + size);
        } else if (argument == "--levels" && hasValue) {
            options.levels = std::atoi(arguments[++i].c_str());
            if (options.levels < 4 || options.levels > 64)
                return fail("--levels wants a number from 4 to 64");
        } else if (argument == "--samples" && hasValue) {
            options.samples = std::atoi(arguments[++i].c_str());
            if (options.samples < 1 || options.samples > 8)
                return fail("--samples wants a number from 1 to 8");
        } else if (argument == "--color-mode" && hasValue) {
            const auto mode = colorModeFromRaw(arguments[++i]);
            if (!mode) return fail("unknown colour mode " + arguments[i]);
            options.colorMode = *mode;
        } else if (argument == "--size-mode" && hasValue) {
            const auto mode = sizeModeFromRaw(arguments[++i]);
            if (!mode) return fail("unknown size mode " + arguments[i]);
            options.sizeMode = *mode;
        } else if (argument == "--graph" && hasValue) {
            const std::string& graph = arguments[++i];
            if (graph != "pie" && graph != "treemap")
                return fail("--graph wants pie or treemap, not " + graph);
            options.treeMap = graph == "treemap";
        } else if (argument == "--layout" && hasValue) {
            const auto layout = DrawTreeMap::layoutNamed(arguments[++i]);
            if (!layout) return fail("unknown tree map layout " + arguments[i]);
            options.layout = *layout;
        } else if (argument == "--border" && hasValue) {
            char* end = nullptr;
            options.border = std::strtod(arguments[++i].c_str(), &end);
            if (end == arguments[i].c_str() || *end != '\0' || !(options.border >= 0) ||
                options.border >= 0.5)
                return fail("--border wants a ratio from 0 to below 0.5");
        } else if (argument == "--keep-aspect") {
            options.keepAspect = true;
        } else if (argument == "--bottom-edge") {
            options.bottomEdge = true;
        } else if (argument == "--dark") {
            options.dark = true;
        } else if (argument == "--show" && hasValue) {
            options.show = arguments[++i];
        } else if (argument == "-log" && hasValue) {
            ++i; // read by the logger itself
        } else if (!argument.starts_with("-") && options.path.empty()) {
            options.path = argument;
        } else {
            return fail("unexpected argument " + argument);
        }
    }
    if (options.path.empty() || options.output.empty())
        return fail("a PATH and -o OUT.png are needed");
    return options;
}

// The tree of a folder (scanned) or of a snapshot file (read); none after printing why.
FilePtr loadTree(const std::string& path, std::int64_t& volumeSize) {
    const auto status = platform::statusOfPath(path);
    if (status && !status->isDirectory) return loadSnapshot(path, "render");
    ScanRun run = runScan(path, nullptr, 0, isatty(STDERR_FILENO) != 0);
    FilePtr root = std::move(run.root);
    if (!root) {
        std::fprintf(stderr, "tessera render: nothing to draw at %s\n",
                     escapeForTerminal(path).c_str());
        return nullptr;
    }
    // A whole volume shows its used share of the circle.
    if (status && status->isMountPoint)
        if (const auto space = platform::spaceOf(path))
            volumeSize = static_cast<std::int64_t>(space->total);
    return root;
}

} // namespace

int runRenderCommand(std::span<const std::string> arguments) {
    const auto options = parse(arguments);
    if (!options) return 2;
    std::int64_t volumeSize = 0;
    FilePtr tree = loadTree(standardizedPath(options->path), volumeSize);
    if (!tree) return 1;
    if (!tree->isDirectory()) {
        std::fprintf(stderr, "tessera render: %s holds a single file, not a tree\n",
                     escapeForTerminal(options->path).c_str());
        return 1;
    }
    File* shown = tree.get();
    if (!options->show.empty()) {
        std::string inside = options->show;
        const std::string base = standardizedPath(options->path) + "/";
        if (inside.starts_with(base)) inside = inside.substr(base.size());
        while (inside.ends_with('/'))
            inside.pop_back();
        shown = inside.empty() ? tree.get() : tree->asDirectory()->fileAtPath(inside);
        if (shown == nullptr) {
            std::fprintf(stderr, "tessera render: nothing at %s inside %s\n",
                         escapeForTerminal(options->show).c_str(),
                         escapeForTerminal(options->path).c_str());
            return 1;
        }
    }

    isDarkAppearance = options->dark;
    const auto rasterRenderers = [] { return std::make_unique<RasterRenderer>(); };
    std::unique_ptr<DrawGraph> graph;
    if (options->treeMap) {
        auto treeMap = std::make_unique<DrawTreeMap>(rasterRenderers);
        treeMap->layout = options->layout;
        treeMap->directoryBorderRatio = options->border;
        treeMap->keepAspectRatioDuringZoom = options->keepAspect;
        treeMap->beginLayoutOnBottomEdge = options->bottomEdge;
        graph = std::move(treeMap);
    } else {
        auto pie = std::make_unique<DrawPieChart>(rasterRenderers);
        pie->levels = options->levels;
        graph = std::move(pie);
    }
    graph->sizeMode = options->sizeMode;
    graph->colorMode = options->colorMode;
    graph->totalSize = volumeSize;
    graph->setViewSize({static_cast<double>(options->width), static_cast<double>(options->height)});
    graph->display(shown);

    RasterCanvas canvas(options->width, options->height, options->samples);
    canvas.clear(palette::backgroundGrey());
    canvas.draw(graph->renderer());
    auto written = writePng(options->output, options->width, options->height, canvas.image());
    if (!written) {
        std::fprintf(stderr, "tessera render: %s: %s\n", escapeForTerminal(options->output).c_str(),
                     escapeForTerminal(written.error()).c_str());
        return 1;
    }
    // Like the scan, the process ends here and lets the kernel take the tree back at once.
    [[maybe_unused]] File* kept = tree.release();
    return 0;
}

} // namespace tessera::cli
