#include "cli/RenderCommand.h"

#include "cli/ScanRunner.h"
#include "cli/SnapshotCommands.h"
#include "cli/TerminalText.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "graph/Graph.h"
#include "graph/SequenceSlider.h"
#include "model/Directory.h"
#include "model/FileEnums.h"
#include "platform/FileSystem.h"
#include "platform/Location.h"
#include "render/HeadlessGraphView.h"
#include "render/PngWriter.h"
#include "render/QtLabelTypesetter.h"
#include "settings/Settings.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

namespace tessera::cli {
namespace {

struct Options {
    std::string path;
    /// With --sequence: every tree of the sequence, in order (`path` is the first).
    std::vector<std::string> sequence;
    double at = 0;
    bool atGiven = false;
    std::string output;
    int width = 1600;
    int height = 1000;
    int samples = 3;
    bool dark = false;
    std::string show;
    std::optional<DrawPoint> hover;
    Settings settings;
};

constexpr const char* kUsage =
    "usage: tessera render PATH|SNAPSHOT -o OUT.png [--size WxH] [--levels N]\n"
    "           [--color-mode hueWheel|creationDate|modificationDate]\n"
    "           [--size-mode fileSize|allocatedFileSize|childCount] [--dark]\n"
    "           [--show PATH-INSIDE] [--samples N]\n"
    "           [--graph pie|treemap] [--layout stack|snake|spiral|spiralSnake]\n"
    "           [--border RATIO] [--no-keep-aspect] [--bottom-edge] [--hover X,Y]\n"
    "       tessera render --sequence A B [C...] --at V -o OUT.png [options above]\n";

std::optional<Options> parse(std::span<const std::string> arguments) {
    Options options;
    bool isSequence = false;
    // The picture as the app shows it by default, except that a whole volume shows its free
    // space when sizes are allocated sizes.
    Settings& settings = options.settings;
    settings.showVolumeAvailableSpace = true;
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
            settings.graphLevels = std::atoi(arguments[++i].c_str());
            if (settings.graphLevels < 4 || settings.graphLevels > 64)
                return fail("--levels wants a number from 4 to 64");
        } else if (argument == "--samples" && hasValue) {
            options.samples = std::atoi(arguments[++i].c_str());
            if (options.samples < 1 || options.samples > 8)
                return fail("--samples wants a number from 1 to 8");
        } else if (argument == "--color-mode" && hasValue) {
            const auto mode = colorModeFromRaw(arguments[++i]);
            if (!mode) return fail("unknown colour mode " + arguments[i]);
            settings.colorMode = *mode;
        } else if (argument == "--size-mode" && hasValue) {
            const auto mode = sizeModeFromRaw(arguments[++i]);
            if (!mode) return fail("unknown size mode " + arguments[i]);
            settings.sizeMode = *mode;
        } else if (argument == "--graph" && hasValue) {
            const std::string& graph = arguments[++i];
            if (graph != "pie" && graph != "treemap")
                return fail("--graph wants pie or treemap, not " + graph);
            settings.graphType = graph == "treemap" ? GraphType::treeMap : GraphType::pieChart;
        } else if (argument == "--layout" && hasValue) {
            const auto layout = DrawTreeMap::layoutNamed(arguments[++i]);
            if (!layout) return fail("unknown tree map layout " + arguments[i]);
            settings.treeMapLayout = *layout;
        } else if (argument == "--border" && hasValue) {
            char* end = nullptr;
            const double border = std::strtod(arguments[++i].c_str(), &end);
            if (end == arguments[i].c_str() || *end != '\0' || !(border >= 0) || border >= 0.5)
                return fail("--border wants a ratio from 0 to below 0.5");
            settings.directoryBorderRatio = border;
        } else if (argument == "--keep-aspect" || argument == "--no-keep-aspect") {
            // On by default, as in the app.
            settings.keepAspectRatioDuringZoom = argument == "--keep-aspect";
        } else if (argument == "--bottom-edge") {
            settings.beginLayoutOnBottomEdge = true;
        } else if (argument == "--hover" && hasValue) {
            double x = 0;
            double y = 0;
            char end = 0;
            if (std::sscanf(arguments[++i].c_str(), "%lf,%lf%c", &x, &y, &end) != 2 ||
                !std::isfinite(x) || !std::isfinite(y))
                return fail("--hover wants X,Y in the picture's pixels, not " + arguments[i]);
            options.hover = DrawPoint{x, y};
        } else if (argument == "--dark") {
            options.dark = true;
        } else if (argument == "--show" && hasValue) {
            options.show = arguments[++i];
        } else if (argument == "--sequence") {
            isSequence = true;
        } else if (argument == "--at" && hasValue) {
            char* end = nullptr;
            options.at = std::strtod(arguments[++i].c_str(), &end);
            if (end == arguments[i].c_str() || *end != '\0' || !std::isfinite(options.at))
                return fail("--at wants a number, not " + arguments[i]);
            options.atGiven = true;
        } else if (argument == "-log" && hasValue) {
            ++i; // read by the logger itself
        } else if (!argument.starts_with("-") && (isSequence || options.path.empty())) {
            if (options.path.empty()) options.path = argument;
            options.sequence.push_back(argument);
        } else {
            return fail("unexpected argument " + argument);
        }
    }
    if (options.path.empty() || options.output.empty())
        return fail("a PATH and -o OUT.png are needed");
    if (!isSequence) {
        if (options.atGiven) return fail("--at goes with --sequence");
        options.sequence.clear();
        return options;
    }
    if (options.sequence.size() < 2) return fail("--sequence wants two trees or more");
    if (!options.show.empty() || options.hover)
        return fail("--show and --hover do not go with --sequence");
    const auto last = static_cast<double>(options.sequence.size() - 1);
    if (options.at < 0 || options.at > last)
        return fail("--at wants a value from 0 (the first tree) to " +
                    std::to_string(options.sequence.size() - 1) + " (the last)");
    return options;
}

// The tree of a folder (scanned; `path` becomes the folder a link leads to) or of a snapshot
// file (read); none after printing why.
FilePtr loadTree(std::string& path) {
    const platform::Location location = platform::classifyLocation(path);
    if (location.kind != platform::Location::Kind::folder) return loadSnapshot(path, "render");
    path = location.path;
    ScanRun run = runScan(path, nullptr, 0, isatty(STDERR_FILENO) != 0);
    if (!run.root)
        std::fprintf(stderr, "tessera render: nothing to draw at %s\n",
                     escapeForTerminal(path).c_str());
    return std::move(run.root);
}

// A controller holding the tree at `given` (a folder, scanned, or a snapshot, read); none after
// printing why. A folder keeps its path as the controller's location (its display names, its
// volume's free space); a snapshot keeps the snapshot's.
std::shared_ptr<FileController> loadController(const std::string& given) {
    std::string path = standardizedPath(given);
    FilePtr tree = loadTree(path);
    if (!tree) return nullptr;
    if (!tree->isDirectory()) {
        std::fprintf(stderr, "tessera render: %s holds a single file, not a tree\n",
                     escapeForTerminal(given).c_str());
        return nullptr;
    }
    return FileController::create(path, DirectoryPtr(static_cast<Directory*>(tree.release())));
}

} // namespace

int runRenderCommand(std::span<const std::string> arguments) {
    const auto options = parse(arguments);
    if (!options) return 2;
    std::vector<std::shared_ptr<FileController>> trees;
    for (const std::string& given : options->sequence) {
        trees.push_back(loadController(given));
        if (!trees.back()) return 1;
    }
    const SequenceSlider::Position position = SequenceSlider(trees.size()).move(options->at);
    // A still picture of a morph is named after the tree it stands on or is heading to.
    auto controller = trees.empty()            ? loadController(options->path)
                      : position.fraction == 0 ? trees[position.index]
                                               : trees[position.index + 1];
    if (!controller) return 1;
    const std::string& path = controller->rootURL();
    Directory* root = controller->rootFile();
    File* shown = root;
    if (!options->show.empty()) {
        std::string inside = options->show;
        if (inside.starts_with(path + "/")) inside = inside.substr(path.size() + 1);
        while (inside.ends_with('/'))
            inside.pop_back();
        shown = inside.empty() ? root : root->fileAtPath(inside);
        if (shown == nullptr) {
            std::fprintf(stderr, "tessera render: nothing at %s inside %s\n",
                         escapeForTerminal(options->show).c_str(),
                         escapeForTerminal(options->path).c_str());
            return 1;
        }
    }
    Favorite volume(path, false);
    controller->setFavorite(&volume);

    // The picture is drawn as it stands once every transition has ended: the clock stands still
    // and is moved on past the highlight's fade before the frame.
    double now = 0;
    auto previousClock = Animation::setClock([&now] { return now; });
    const QtLabelTypesetter typesetter;
    HeadlessGraphView view(typesetter, options->width, options->height, options->dark,
                           options->samples);
    Settings settings = options->settings;
    Graph graph(settings); // never saved: rendering leaves the user's settings alone
    graph.setView(&view);
    graph.setUp();
    graph.setFileController(controller);
    if (shown != root) graph.navigate(*shown);
    graph.finishTransition();
    if (!trees.empty()) {
        std::vector<Directory*> files;
        for (const auto& tree : trees)
            files.push_back(tree->rootFile());
        graph.setFileSequence(std::move(files), position.index, position.fraction);
    }
    view.drawFrame(graph); // lays the picture out, so the pointer finds what lies under it
    if (options->hover) {
        // Image coordinates (from the top left, y down) to the view's.
        graph.pointerLocation = {options->hover->x - options->width / 2.0,
                                 options->height / 2.0 - options->hover->y};
        graph.updateActiveFileFromPointer();
    }
    now = 10;
    view.drawFrame(graph);
    Animation::setClock(std::move(previousClock));

    auto written =
        writePng(options->output, options->width, options->height, view.canvas().image());
    if (!written) {
        std::fprintf(stderr, "tessera render: %s: %s\n", escapeForTerminal(options->output).c_str(),
                     escapeForTerminal(written.error()).c_str());
        return 1;
    }
    graph.setFileController(nullptr);
    controller->setFavorite(nullptr);
    return 0;
}

} // namespace tessera::cli
