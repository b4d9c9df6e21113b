#include "app/commands/GraphCommands.h"

#include "app/QtConversions.h"
#include "app/commands/CommandSet.h"
#include "app/graphview/GraphViewController.h"
#include "app/widgets/StepperRow.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "model/Localization.h"
#include "settings/SettingsTable.h"

#include <QMenu>
#include <cctype>
#include <string>

namespace tessera {
namespace {

// The stepper of a numeric setting: decrease, increase and reset, each within the setting's
// range.
void addStepper(CommandSet& commands, Graph& graph, SettingKey key, CommandSet::Rule visible) {
    const SettingDefinition& setting = settingDefinition(key);
    const Settings& settings = graph.settings();
    const command::Stepper ids = command::stepper(key);
    for (const int steps : {-1, 1}) {
        commands.add(steps < 0 ? ids.decrease : ids.increase,
                     localizedQString(steps < 0 ? "button.decrease" : "button.increase"),
                     [&graph, &setting, &settings, steps] {
                         if (const auto next = setting.stepped(setting.get(settings), steps))
                             graph.changeSettings(
                                 [&](Settings& changed) { setting.set(changed, *next); });
                     },
                     {.enabled =
                          [&setting, &settings, steps] {
                              return setting.stepped(setting.get(settings), steps).has_value();
                          },
                      .visible = visible,
                      .actsOnGraph = true});
    }
    commands.add(
        ids.reset, localizedQString("button.reset"),
        [&graph, &setting] {
            graph.changeSettings(
                [&](Settings& changed) { setting.set(changed, setting.byDefault()); });
        },
        {.enabled = [&setting, &settings] { return setting.get(settings) != setting.byDefault(); },
         .visible = visible,
         .actsOnGraph = true});
}

// A switch of a boolean setting.
QAction* addToggle(CommandSet& commands, Graph& graph, CommandId id, SettingKey key,
                   std::string_view textKey, CommandRules rules) {
    const SettingDefinition& setting = settingDefinition(key);
    const Settings& settings = graph.settings();
    rules.checked = [&setting, &settings] { return setting.get(settings) != 0; };
    rules.actsOnGraph = true;
    return commands.add(
        id, localizedQString(textKey),
        [&graph, &setting] {
            graph.changeSettings(
                [&](Settings& changed) { setting.set(changed, setting.get(changed) == 0); });
        },
        std::move(rules));
}

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
        command::showEnclosingFolder, localizedQString("menu.file.selectEnclosingFolder"),
        [&controller] { controller.showEnclosingFolder(); },
        {.enabled = [&controller] { return controller.canShowEnclosingFolder(); },
         .actsOnGraph = true},
        QKeySequence(Qt::ALT | Qt::Key_Up));

    std::vector<QAction*> choices;
    for (GraphType type : allGraphTypes) {
        choices.push_back(commands.add(
            command::choice(type), localizedQString("graphType." + std::string(rawValue(type))),
            [&graph, type] {
                graph.changeSettings([type](Settings& next) { next.graphType = type; });
            },
            {.checked = [&settings, type] { return settings.graphType == type; },
             .actsOnGraph = true}));
    }
    commands.group(choices);

    choices.clear();
    for (SizeMode mode : allSizeModes) {
        choices.push_back(
            commands.add(command::choice(mode), localizedQString(sizeModeTextKey(mode)),
                         [&graph, mode] {
                             graph.changeSettings([mode](Settings& next) { next.sizeMode = mode; });
                         },
                         {.checked = [&settings, mode] { return settings.sizeMode == mode; },
                          .actsOnGraph = true}));
    }
    commands.group(choices);

    choices.clear();
    for (ColorMode mode : allColorModes) {
        choices.push_back(commands.add(
            command::choice(mode), localizedQString("colorMode." + std::string(rawValue(mode))),
            [&graph, mode] {
                graph.changeSettings([mode](Settings& next) { next.colorMode = mode; });
            },
            {.checked = [&settings, mode] { return settings.colorMode == mode; },
             // What changed between trees is only known where trees are compared.
             .visible = mode != ColorMode::change ? CommandSet::Rule()
                                                  : [&graph] { return graph.comparesTrees(); },
             .actsOnGraph = true}));
    }
    commands.group(choices);

    addToggle(commands, graph, command::toggleShowNames, SettingKey::showNames,
              "menu.view.showNames", {});
    addToggle(commands, graph, command::toggleSameScale, SettingKey::sameScale,
              "menu.view.sameScale", {.visible = [&graph] { return graph.comparesTrees(); }});
    addStepper(commands, graph, SettingKey::animationSpeed, {});
    addStepper(commands, graph, SettingKey::mergeThreshold, {});

    addToggle(commands, graph, command::toggleShowVolumeAvailableSpace,
              SettingKey::showVolumeAvailableSpace, "menu.view.showVolumeAvailableSpace",
              {.enabled = [&graph, &settings] {
                  const FileController* files = graph.fileController();
                  return settings.sizeMode == SizeMode::allocatedFileSize && files != nullptr &&
                         files->favorite() != nullptr && files->favorite()->isVolume();
              }});

    addStepper(commands, graph, SettingKey::graphLevels, isPie);
    addStepper(commands, graph, SettingKey::directoryBorderRatio, isTreeMap);

    choices.clear();
    for (TreeMapLayout layout : allTreeMapLayouts) {
        const std::string raw(rawValue(layout));
        choices.push_back(commands.add(
            command::choice(layout), localizedQString("treeMap.layout." + raw),
            [&graph, layout] {
                graph.changeSettings([layout](Settings& next) { next.treeMapLayout = layout; });
            },
            {.checked = [&settings, layout] { return settings.treeMapLayout == layout; },
             .visible = isTreeMap,
             .actsOnGraph = true}));
    }
    commands.group(choices);

    addToggle(commands, graph, command::toggleCushions, SettingKey::cushions, "menu.view.cushions",
              {.visible = isTreeMap});
    addToggle(commands, graph, command::toggleKeepAspectRatioDuringZoom,
              SettingKey::keepAspectRatioDuringZoom, "menu.view.keepAspectRatioDuringZoom",
              {.visible = isTreeMap});
    addToggle(commands, graph, command::toggleBeginLayoutOnBottomEdge,
              SettingKey::beginLayoutOnBottomEdge, "menu.view.beginLayoutOnBottomEdge",
              {.visible = isTreeMap});
    commands.disablesGraphCommands = [&graph] { return graph.showsFileSequence(); };
}

void fillViewMenu(QMenu& menu, const CommandSet& commands) {
    auto submenu = [&](std::string_view titleKey, const auto& values) {
        QMenu* sub = menu.addMenu(localizedQString(titleKey));
        for (const auto value : values)
            sub->addAction(commands.action(command::choice(value)));
        return sub;
    };
    submenu("menu.view.graphType", allGraphTypes);
    submenu("menu.view.sizeMode", allSizeModes);
    submenu("menu.view.colorMode", allColorModes);
    menu.addAction(commands.action(command::toggleShowNames));
    menu.addAction(commands.action(command::toggleSameScale));
    menu.addSeparator();
    auto stepper = [&](std::string_view titleKey, SettingKey key) {
        const command::Stepper ids = command::stepper(key);
        addStepperRow(menu, localizedQString(titleKey), commands.action(ids.decrease),
                      commands.action(ids.increase), commands.action(ids.reset));
    };
    stepper("menu.view.animationSpeed", SettingKey::animationSpeed);
    stepper("menu.view.mergeThreshold", SettingKey::mergeThreshold);
    menu.addAction(commands.action(command::toggleShowVolumeAvailableSpace));
    // A window of a live folder counts its files with several names as its favourite says.
    if (QAction* links = commands.action(command::toggleCountHardLinksOnce)) menu.addAction(links);
    menu.addSeparator();
    stepper("menu.view.graphLevels", SettingKey::graphLevels);
    stepper("menu.view.directoryBorder", SettingKey::directoryBorderRatio);
    QMenu* layouts = submenu("menu.view.treeMapLayout", allTreeMapLayouts);
    // The submenu's own entry is hidden with its items.
    QAction* first = commands.action(command::choice(allTreeMapLayouts.front()));
    QObject::connect(first, &QAction::visibleChanged, layouts->menuAction(),
                     [layouts, first] { layouts->menuAction()->setVisible(first->isVisible()); });
    menu.addAction(commands.action(command::toggleCushions));
    menu.addAction(commands.action(command::toggleKeepAspectRatioDuringZoom));
    menu.addAction(commands.action(command::toggleBeginLayoutOnBottomEdge));
}

} // namespace tessera
