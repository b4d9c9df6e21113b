#include "cli/RenderCommand.h"

#include "cli/CommandParser.h"
#include "cli/SnapshotCommands.h"
#include "cli/TerminalText.h"
#include "cli/TreeArguments.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "favorites/Predicate.h"
#include "graph/Graph.h"
#include "graph/HeadlessGraphView.h"
#include "graph/SequenceSlider.h"
#include "graph/StillPicture.h"
#include "model/Directory.h"
#include "model/FileEnums.h"
#include "platform/FileSystem.h"
#include "platform/Location.h"
#include "render/QtLabelTypesetter.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <expected>
#include <optional>
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
    std::string search;
    std::optional<DrawPoint> hover;
    Settings settings;
};

constexpr const char* kUsage =
    "usage: tessera render PATH|SNAPSHOT -o OUT.png|OUT.svg [--size WxH] [--levels N]\n"
    "           [--color-mode hueWheel|creationDate|modificationDate|fileType|change]\n"
    "           [--size-mode fileSize|allocatedFileSize|childCount] [--dark]\n"
    "           [--show PATH-INSIDE] [--samples N]\n"
    "           [--graph pie|treemap] [--layout stack|snake|spiral|spiralSnake]\n"
    "           [--border RATIO] [--no-keep-aspect] [--bottom-edge] [--hover X,Y]\n"
    "           [--no-labels] [--cushions] [--search TEXT]\n"
    "       tessera render --sequence A B [C...] --at V [--same-scale] -o OUT.png\n"
    "           [options above]\n";

std::string formatted(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// What a numeric setting's option takes, as its help says.
std::string allowedValues(SettingKey id) {
    const SettingDefinition& setting = settingDefinition(id);
    return formatted(setting.least) + " to " + formatted(setting.most) + ", default " +
           formatted(setting.byDefault());
}

// Sets a numeric setting from its option's text; why not, when the text is no number the
// setting allows.
std::optional<std::string> readSetting(Settings& settings, SettingKey id, const std::string& text) {
    const SettingDefinition& setting = settingDefinition(id);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !setting.allows(value))
        return std::string(setting.flag) + " wants " +
               (setting.type == SettingType::integer ? "a whole number" : "a number") + " from " +
               formatted(setting.least) + " to " + formatted(setting.most) + ", not " + text;
    setting.set(settings, value);
    return std::nullopt;
}

// The options, or the exit status to end with (0 after --help).
std::expected<Options, int> parse(std::span<const std::string> arguments) {
    Options options;
    // The picture as the app shows it by default, except that a whole volume shows its free
    // space when sizes are allocated sizes.
    Settings& settings = options.settings;
    settings.showVolumeAvailableSpace = true;
    CommandParser parser("render",
                         "Draws the pie chart (or tree map) of PATH (scanned) or of a snapshot,\n"
                         "or of the folder --show names inside it, as a PNG picture; with\n"
                         "--sequence, the morph between trees at slider value --at.\n",
                         kUsage);
    CLI::App& app = parser.app();
    std::vector<std::string> paths;
    std::string size, levels, samples, colorMode, sizeMode, graph, layout, border, hover, at;
    bool isSequence = false;
    bool keepAspect = false;
    bool noKeepAspect = false;
    bool noLabels = false;
    app.add_option("PATH", paths, "a folder or snapshot (with --sequence: two or more)")
        ->required();
    app.add_option("-o,--output", options.output, "the PNG file to write")->required();
    app.add_option("--size", size, "the picture's size (default 1600x1000)")->type_name("WxH");
    app.add_option("--levels", levels,
                   "the pie chart's rings (" + allowedValues(SettingKey::graphLevels) + ")");
    app.add_option("--samples", samples, "samples per pixel each way (1 to 8, default 3)");
    app.add_option("--color-mode", colorMode,
                   "hueWheel, creationDate, modificationDate, fileType or (with --sequence) "
                   "change");
    app.add_option("--size-mode", sizeMode, "fileSize, allocatedFileSize or childCount");
    app.add_option("--graph", graph, "pie or treemap");
    app.add_option("--layout", layout, "the tree map's: stack, snake, spiral or spiralSnake");
    app.add_option("--border", border,
                   "the tree map's folder border (" +
                       allowedValues(SettingKey::directoryBorderRatio) + ")");
    app.add_flag("--keep-aspect", keepAspect, "keep the aspect ratio during zooms (default)");
    app.add_flag("--no-keep-aspect", noKeepAspect, "stretch during zooms");
    app.add_flag("--bottom-edge", settings.beginLayoutOnBottomEdge,
                 "begin the tree map's layout on the bottom edge");
    app.add_option("--hover", hover, "draw the hover bubble at a point")->type_name("X,Y");
    app.add_flag("--no-labels", noLabels, "leave the files' names off the picture");
    app.add_flag("--cushions", settings.cushions, "shade the tree map's tiles as cushions");
    app.add_flag("--dark", options.dark, "the dark appearance");
    app.add_option("--show", options.show, "the folder inside PATH to draw")->type_name("PATH");
    app.add_option("--search", options.search,
                   "light the files whose path contains TEXT, as the app's search does")
        ->type_name("TEXT");
    app.add_flag("--sequence", isSequence, "draw the morph between the trees given");
    app.add_flag("--same-scale", settings.sameScale,
                 "with --sequence: every tree at one scale, the same bytes in the same area");
    app.add_option("--at", at, "the slider's value: 0 is the first tree, 1 the second...")
        ->type_name("V");
    if (const auto ended = parser.parse(arguments)) return std::unexpected(*ended);
    auto fail = [&parser](const std::string& why) { return std::unexpected(parser.refuse(why)); };

    if (parser.given("--size") &&
        (std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height) != 2 ||
         options.width < 16 || options.height < 16 || options.width > 16384 ||
         options.height > 16384))
        return fail("--size wants WIDTHxHEIGHT between 16 and 16384, not " + size);
    if (parser.given("--levels"))
        if (auto refused = readSetting(settings, SettingKey::graphLevels, levels))
            return fail(*refused);
    if (parser.given("--samples")) {
        options.samples = std::atoi(samples.c_str());
        if (options.samples < 1 || options.samples > 8)
            return fail("--samples wants a number from 1 to 8");
    }
    if (parser.given("--color-mode")) {
        const auto mode = colorModeFromRaw(colorMode);
        if (!mode) return fail("unknown colour mode " + colorMode);
        settings.colorMode = *mode;
    }
    if (parser.given("--size-mode")) {
        const auto mode = sizeModeFromRaw(sizeMode);
        if (!mode) return fail("unknown size mode " + sizeMode);
        settings.sizeMode = *mode;
    }
    if (parser.given("--graph")) {
        if (graph != "pie" && graph != "treemap")
            return fail("--graph wants pie or treemap, not " + graph);
        settings.graphType = graph == "treemap" ? GraphType::treeMap : GraphType::pieChart;
    }
    if (parser.given("--layout")) {
        const auto named = treeMapLayoutNamed(layout);
        if (!named) return fail("unknown tree map layout " + layout);
        settings.treeMapLayout = *named;
    }
    if (parser.given("--border"))
        if (auto refused = readSetting(settings, SettingKey::directoryBorderRatio, border))
            return fail(*refused);
    // On by default, as in the app.
    if (keepAspect && noKeepAspect) return fail("--keep-aspect or --no-keep-aspect, not both");
    settings.keepAspectRatioDuringZoom = !noKeepAspect;
    settings.showNames = !noLabels;
    if (parser.given("--hover")) {
        double x = 0;
        double y = 0;
        char end = 0;
        if (std::sscanf(hover.c_str(), "%lf,%lf%c", &x, &y, &end) != 2 || !std::isfinite(x) ||
            !std::isfinite(y))
            return fail("--hover wants X,Y in the picture's pixels, not " + hover);
        options.hover = DrawPoint{x, y};
    }
    if (parser.given("--at")) {
        char* end = nullptr;
        options.at = std::strtod(at.c_str(), &end);
        if (end == at.c_str() || *end != '\0' || !std::isfinite(options.at))
            return fail("--at wants a number, not " + at);
        options.atGiven = true;
    }
    if (!isSequence && paths.size() > 1) return fail("unexpected argument " + paths[1]);
    options.path = paths.front();
    options.sequence = paths;
    if (options.path.empty() || options.output.empty())
        return fail("a PATH and -o OUT.png are needed");
    if (!isSequence) {
        if (options.atGiven) return fail("--at goes with --sequence");
        if (settings.sameScale) return fail("--same-scale goes with --sequence");
        if (settings.colorMode == ColorMode::change)
            return fail("--color-mode change goes with --sequence: it shows what changed between "
                        "the trees");
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

// A controller holding the tree at `given` (a folder, scanned, or a snapshot, read); none after
// printing why. A folder keeps its path as the controller's location (its display names, its
// volume's free space); a snapshot keeps the snapshot's.
std::shared_ptr<FileController> loadController(const std::string& given) {
    std::string path = standardizedPath(given);
    FilePtr tree = loadTreeArgument(path, "render");
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
    if (!options) return options.error();
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
    const std::string& path = controller->rootPath();
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

    const QtLabelTypesetter typesetter;
    HeadlessGraphView view(typesetter, options->width, options->height, options->dark,
                           options->samples);
    view.setKeepsShapes(isSvgPath(options->output));
    Settings settings = options->settings;
    Graph graph(settings); // never saved: rendering leaves the user's settings alone
    graph.setView(&view);
    graph.setUp();
    graph.setFileController(controller);
    if (shown != root) graph.navigate(*shown);
    graph.finishTransition();
    if (!options->search.empty())
        graph.setLitFilter(std::make_shared<Predicate>(Predicate::pathContaining(options->search)));
    if (!trees.empty()) {
        std::vector<Directory*> files;
        for (const auto& tree : trees)
            files.push_back(tree->rootFile());
        graph.setFileSequence(std::move(files), position.index, position.fraction);
    }
    drawAtRest(graph, view, [&] {
        // The picture is laid out: the pointer finds what lies under it.
        if (!options->hover) return;
        // Image coordinates (from the top left, y down) to the view's.
        graph.pointerLocation = {options->hover->x - options->width / 2.0,
                                 options->height / 2.0 - options->hover->y};
        graph.updateActiveFileFromPointer();
    });

    if (auto written = writePicture(view, options->output); !written) {
        std::fprintf(stderr, "tessera render: %s: %s\n", escapeForTerminal(options->output).c_str(),
                     escapeForTerminal(written.error()).c_str());
        return 1;
    }
    graph.setFileController(nullptr);
    controller->setFavorite(nullptr);
    return 0;
}

} // namespace tessera::cli
