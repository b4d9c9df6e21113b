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

QString id(std::string_view raw) {
    return toQString(raw);
}

std::string capitalised(std::string_view key) {
    std::string name(key);
    if (!name.empty())
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

// The stepper of a numeric setting: "decreaseKey", "increaseKey" and "resetKey" (the key
// capitalised), each within the setting's range.
void addStepper(CommandSet& commands, Graph& graph, SettingKey key, CommandSet::Rule visible) {
    const SettingDefinition& setting = settingDefinition(key);
    const Settings& settings = graph.settings();
    const std::string name = capitalised(setting.key);
    for (const int steps : {-1, 1}) {
        commands.add(toQString((steps < 0 ? "decrease" : "increase") + name),
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
        toQString("reset" + name), localizedQString("button.reset"),
        [&graph, &setting] {
            graph.changeSettings(
                [&](Settings& changed) { setting.set(changed, setting.byDefault()); });
        },
        {.enabled = [&setting, &settings] { return setting.get(settings) != setting.byDefault(); },
         .visible = visible,
         .actsOnGraph = true});
}

// A switch of a boolean setting.
QAction* addToggle(CommandSet& commands, Graph& graph, SettingKey key, std::string_view textKey,
                   CommandRules rules) {
    const SettingDefinition& setting = settingDefinition(key);
    const Settings& settings = graph.settings();
    const std::string name = capitalised(setting.key);
    rules.checked = [&setting, &settings] { return setting.get(settings) != 0; };
    rules.actsOnGraph = true;
    return commands.add(
        toQString("toggle" + name), localizedQString(textKey),
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
        "openParentDirectory", localizedQString("menu.file.selectEnclosingFolder"),
        [&controller] { controller.openParentDirectory(); },
        {.enabled = [&controller] { return controller.canOpenParentDirectory(); },
         .actsOnGraph = true},
        QKeySequence(Qt::ALT | Qt::Key_Up));

    std::vector<QAction*> choices;
    for (GraphType type : allGraphTypes) {
        choices.push_back(commands.add(
            id(rawValue(type)), localizedQString("graphType." + std::string(rawValue(type))),
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
            commands.add(id(rawValue(mode)), localizedQString(sizeModeTextKey(mode)),
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
            id(rawValue(mode)), localizedQString("colorMode." + std::string(rawValue(mode))),
            [&graph, mode] {
                graph.changeSettings([mode](Settings& next) { next.colorMode = mode; });
            },
            {.checked = [&settings, mode] { return settings.colorMode == mode; },
             .actsOnGraph = true}));
    }
    commands.group(choices);

    addStepper(commands, graph, SettingKey::animationSpeed, {});
    addStepper(commands, graph, SettingKey::mergeThreshold, {});

    addToggle(commands, graph, SettingKey::showVolumeAvailableSpace,
              "menu.view.showVolumeAvailableSpace", {.enabled = [&graph, &settings] {
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
            id(raw), localizedQString("treeMap.layout." + raw),
            [&graph, layout] {
                graph.changeSettings([layout](Settings& next) { next.treeMapLayout = layout; });
            },
            {.checked = [&settings, layout] { return settings.treeMapLayout == layout; },
             .visible = isTreeMap,
             .actsOnGraph = true}));
    }
    commands.group(choices);

    addToggle(commands, graph, SettingKey::keepAspectRatioDuringZoom,
              "menu.view.keepAspectRatioDuringZoom", {.visible = isTreeMap});
    addToggle(commands, graph, SettingKey::beginLayoutOnBottomEdge,
              "menu.view.beginLayoutOnBottomEdge", {.visible = isTreeMap});
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
