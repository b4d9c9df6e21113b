#include "app/commands/GraphCommands.h"

#include "app/QtConversions.h"
#include "app/commands/CommandSet.h"
#include "app/graphview/GraphViewController.h"
#include "app/widgets/StepperRow.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "model/Localization.h"

#include <QMenu>
#include <cmath>
#include <string>

namespace tessera {
namespace {

QString id(std::string_view raw) {
    return toQString(raw);
}

constexpr double kSpeedStep = 2.0;
constexpr double kMergeStep = 1.0;
constexpr int kLevelStep = 1;
constexpr double kBorderStep = 0.01;
constexpr double kDefaultSpeed = 1.0;
constexpr double kDefaultMergeThreshold = 2.0;
constexpr int kDefaultLevels = 8;
constexpr int kFewestLevels = 8;
constexpr int kMostLevels = 16;
constexpr double kMostBorder = 0.3;
// Ratios are stepped in hundredths: a result counts as in range within this tolerance.
constexpr double kTolerance = 1e-9;

std::string_view sizeModeTextKey(SizeMode mode) {
    switch (mode) {
    case SizeMode::fileSize:
        return "file.size";
    case SizeMode::allocatedFileSize:
        return "file.sizeAllocated";
    case SizeMode::childCount:
        return "file.childCount";
    }
    return "file.size";
}

} // namespace

void addGraphCommands(CommandSet& commands, GraphViewController& controller) {
    Graph& graph = controller.graph();
    const Settings& settings = graph.settings();
    auto isPie = [&settings] { return settings.graphType == GraphType::pieChart; };
    auto isTreeMap = [&settings] { return settings.graphType == GraphType::treeMap; };

    commands.add(
        "openParentDirectory", localizedQString("menu.file.selectEnclosingFolder"),
        [&controller] { controller.openParentDirectory(); },
        {.enabled = [&controller] { return controller.canOpenParentDirectory(); },
         .actsOnGraph = true},
        QKeySequence(Qt::ALT | Qt::Key_Up));

    std::vector<QAction*> choices;
    for (GraphType type : {GraphType::pieChart, GraphType::treeMap}) {
        choices.push_back(commands.add(
            id(rawValue(type)), localizedQString("graphType." + std::string(rawValue(type))),
            [&graph, &settings, type] {
                if (settings.graphType != type) graph.setGraphType(type);
            },
            {.checked = [&settings, type] { return settings.graphType == type; },
             .actsOnGraph = true}));
    }
    commands.group(choices);

    choices.clear();
    for (SizeMode mode : allSizeModes) {
        choices.push_back(
            commands.add(id(rawValue(mode)), localizedQString(sizeModeTextKey(mode)),
                         [&graph, &settings, mode] {
                             if (settings.sizeMode != mode) graph.setSizeMode(mode);
                         },
                         {.checked = [&settings, mode] { return settings.sizeMode == mode; },
                          .actsOnGraph = true}));
    }
    commands.group(choices);

    choices.clear();
    for (ColorMode mode : allColorModes) {
        choices.push_back(commands.add(
            id(rawValue(mode)), localizedQString("colorMode." + std::string(rawValue(mode))),
            [&graph, mode] { graph.setColorMode(mode); },
            {.checked = [&settings, mode] { return settings.colorMode == mode; },
             .actsOnGraph = true}));
    }
    commands.group(choices);

    commands.add(
        "decreaseAnimationSpeed", localizedQString("button.decrease"),
        [&graph, &settings] { graph.setAnimationSpeed(settings.animationSpeed / kSpeedStep); },
        {.actsOnGraph = true});
    commands.add(
        "increaseAnimationSpeed", localizedQString("button.increase"),
        [&graph, &settings] { graph.setAnimationSpeed(settings.animationSpeed * kSpeedStep); },
        {.actsOnGraph = true});
    commands.add("resetAnimationSpeed", localizedQString("button.reset"),
                 [&graph] { graph.setAnimationSpeed(kDefaultSpeed); },
                 {.enabled = [&settings] { return settings.animationSpeed != kDefaultSpeed; },
                  .actsOnGraph = true});

    for (const double step : {-kMergeStep, kMergeStep}) {
        commands.add(
            step < 0 ? "decreaseMergeThreshold" : "increaseMergeThreshold",
            localizedQString(step < 0 ? "button.decrease" : "button.increase"),
            [&graph, &settings, step] { graph.setMergeThreshold(settings.mergeThreshold + step); },
            {.enabled = [&settings, step] { return settings.mergeThreshold + step > 0; },
             .actsOnGraph = true});
    }
    commands.add(
        "resetMergeThreshold", localizedQString("button.reset"),
        [&graph] { graph.setMergeThreshold(kDefaultMergeThreshold); },
        {.enabled = [&settings] { return settings.mergeThreshold != kDefaultMergeThreshold; },
         .actsOnGraph = true});

    commands.add("toggleShowVolumeAvailableSpace",
                 localizedQString("menu.view.showVolumeAvailableSpace"),
                 [&graph, &settings] {
                     graph.setShowVolumeAvailableSpace(!settings.showVolumeAvailableSpace);
                 },
                 {.enabled =
                      [&graph, &settings] {
                          const FileController* files = graph.fileController();
                          return settings.sizeMode == SizeMode::allocatedFileSize &&
                                 files != nullptr && files->favorite() != nullptr &&
                                 files->favorite()->isVolume();
                      },
                  .checked = [&settings] { return settings.showVolumeAvailableSpace; },
                  .actsOnGraph = true});

    for (const int step : {-kLevelStep, kLevelStep}) {
        commands.add(
            step < 0 ? "decreaseGraphLevels" : "increaseGraphLevels",
            localizedQString(step < 0 ? "button.decrease" : "button.increase"),
            [&graph, &settings, step] { graph.setGraphLevels(settings.graphLevels + step); },
            {.enabled =
                 [&settings, step] {
                     const int levels = settings.graphLevels + step;
                     return levels >= kFewestLevels && levels <= kMostLevels;
                 },
             .visible = isPie,
             .actsOnGraph = true});
    }
    commands.add("resetGraphLevels", localizedQString("button.reset"),
                 [&graph] { graph.setGraphLevels(kDefaultLevels); },
                 {.enabled = [&settings] { return settings.graphLevels != kDefaultLevels; },
                  .visible = isPie,
                  .actsOnGraph = true});

    for (const double step : {-kBorderStep, kBorderStep}) {
        commands.add(step < 0 ? "decreaseDirectoryBorderRatio" : "increaseDirectoryBorderRatio",
                     localizedQString(step < 0 ? "button.decrease" : "button.increase"),
                     [&graph, &settings, step] {
                         // Kept on whole hundredths, so repeated steps do not drift.
                         const double ratio = settings.directoryBorderRatio + step;
                         graph.setDirectoryBorderRatio(
                             std::max(0.0, std::round(ratio * 100) / 100));
                     },
                     {.enabled =
                          [&settings, step] {
                              const double ratio = settings.directoryBorderRatio + step;
                              return ratio >= -kTolerance && ratio <= kMostBorder + kTolerance;
                          },
                      .visible = isTreeMap,
                      .actsOnGraph = true});
    }
    commands.add("resetDirectoryBorderRatio", localizedQString("button.reset"),
                 [&graph] { graph.setDirectoryBorderRatio(0.0); },
                 {.enabled = [&settings] { return settings.directoryBorderRatio != 0.0; },
                  .visible = isTreeMap,
                  .actsOnGraph = true});

    choices.clear();
    for (TreeMapLayout layout : allTreeMapLayouts) {
        const std::string raw(rawValue(layout));
        choices.push_back(commands.add(
            id(raw), localizedQString("treeMap.layout." + raw),
            [&graph, layout] { graph.setTreeMapLayout(layout); },
            {.checked = [&settings, layout] { return settings.treeMapLayout == layout; },
             .visible = isTreeMap,
             .actsOnGraph = true}));
    }
    commands.group(choices);

    commands.add("toggleKeepAspectRatioDuringZoom",
                 localizedQString("menu.view.keepAspectRatioDuringZoom"),
                 [&graph, &settings] {
                     graph.setKeepAspectRatioDuringZoom(!settings.keepAspectRatioDuringZoom);
                 },
                 {.checked = [&settings] { return settings.keepAspectRatioDuringZoom; },
                  .visible = isTreeMap,
                  .actsOnGraph = true});
    commands.add("toggleBeginLayoutOnBottomEdge",
                 localizedQString("menu.view.beginLayoutOnBottomEdge"),
                 [&graph, &settings] {
                     graph.setBeginLayoutOnBottomEdge(!settings.beginLayoutOnBottomEdge);
                 },
                 {.checked = [&settings] { return settings.beginLayoutOnBottomEdge; },
                  .visible = isTreeMap,
                  .actsOnGraph = true});
    commands.disablesGraphCommands = [&graph] { return graph.showsFileSequence(); };
}

void fillViewMenu(QMenu& menu, const CommandSet& commands) {
    auto submenu = [&](std::string_view titleKey, std::initializer_list<std::string_view> ids) {
        QMenu* sub = menu.addMenu(localizedQString(titleKey));
        for (std::string_view raw : ids)
            sub->addAction(commands.action(id(raw)));
        return sub;
    };
    submenu("menu.view.graphType", {"pieChart", "treeMap"});
    submenu("menu.view.sizeMode", {"fileSize", "allocatedFileSize", "childCount"});
    submenu("menu.view.colorMode", {"hueWheel", "creationDate", "modificationDate"});
    menu.addSeparator();
    auto stepper = [&](std::string_view titleKey, const char* name) {
        const QString suffix = QString::fromLatin1(name);
        addStepperRow(menu, localizedQString(titleKey), commands.action("decrease" + suffix),
                      commands.action("increase" + suffix), commands.action("reset" + suffix));
    };
    stepper("menu.view.animationSpeed", "AnimationSpeed");
    stepper("menu.view.mergeThreshold", "MergeThreshold");
    menu.addAction(commands.action("toggleShowVolumeAvailableSpace"));
    menu.addSeparator();
    stepper("menu.view.graphLevels", "GraphLevels");
    stepper("menu.view.directoryBorder", "DirectoryBorderRatio");
    QMenu* layouts =
        submenu("menu.view.treeMapLayout", {"stack", "snake", "spiral", "spiralSnake"});
    // The submenu's own entry is hidden with its items.
    QObject::connect(commands.action("stack"), &QAction::visibleChanged, layouts->menuAction(),
                     [layouts, &commands] {
                         layouts->menuAction()->setVisible(commands.action("stack")->isVisible());
                     });
    menu.addAction(commands.action("toggleKeepAspectRatioDuringZoom"));
    menu.addAction(commands.action("toggleBeginLayoutOnBottomEdge"));
}

} // namespace tessera
