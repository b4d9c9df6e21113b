// The graph's commands as the View menu shows them: which are enabled, checked and shown in
// each state, reached by triggering the commands as a menu click does.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QTest>
#include <functional>

namespace tessera::testing {
namespace {

// A hidden command is also disabled (Qt keeps its shortcut from firing).
struct Expectation {
    const char* command;
    bool enabled;
    bool visible;
    int checked; // -1: not a check mark
};

struct Step {
    const char* command;
    int times = 1;
};

struct State {
    const char* name;
    std::vector<Step> triggered; // commands run from the default settings
    std::vector<Expectation> expected;
};

class GraphCommandsTest final : public QObject {
    Q_OBJECT

private slots:

    void rulesFollowTheSettings_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < states().size(); ++i)
            QTest::newRow(states()[i].name) << static_cast<int>(i);
    }
    void rulesFollowTheSettings() {
        QFETCH(int, row);
        const State& state = states()[static_cast<std::size_t>(row)];
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        CommandSet& commands = window->commands();
        for (const Step& step : state.triggered) {
            for (int i = 0; i < step.times; ++i) {
                QAction* action = commands.action(CommandId{step.command});
                QVERIFY2(action != nullptr && action->isEnabled(), step.command);
                action->trigger();
                QVERIFY(waitUntilAtRest(window->graph()));
            }
        }
        commands.refresh();
        for (const Expectation& expected : state.expected) {
            QAction* action = commands.action(CommandId{expected.command});
            QVERIFY2(action != nullptr, expected.command);
            QVERIFY2(action->isEnabled() == expected.enabled, expected.command);
            QVERIFY2(action->isVisible() == expected.visible, expected.command);
            if (expected.checked >= 0) {
                QVERIFY2(action->isCheckable(), expected.command);
                QVERIFY2(action->isChecked() == (expected.checked == 1), expected.command);
            }
        }
    }

    void everyGraphCommandIsDisabledWhileASequenceIsShown() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        Directory* root = window->fileController()->rootFile();
        Directory* music = root->fileAtPath("music")->asDirectory();
        window->graph().setFileSequence({root, music}, 0, 0.5);
        window->commands().refresh();
        for (const char* command :
             {"pieChart", "treeMap", "fileSize", "hueWheel", "increaseGraphLevels",
              "resetMergeThreshold", "increaseAnimationSpeed", "showEnclosingFolder", "goBack"})
            QVERIFY2(!window->commands().action(CommandId{command})->isEnabled(), command);
        QVERIFY(window->commands().action(command::close)->isEnabled());
        window->graph().setFileSequence({root, music}, 0, 0.0);
        window->commands().refresh();
        QVERIFY(window->commands().action(command::choice(GraphType::treeMap))->isEnabled());
    }

private:
    static const std::vector<State>& states() {
        static const std::vector<State> table{
            {"defaults (pie chart)",
             {},
             {{"pieChart", true, true, 1},
              {"treeMap", true, true, 0},
              {"fileSize", true, true, 1},
              {"hueWheel", true, true, 1},
              {"decreaseGraphLevels", false, true, -1},
              {"increaseGraphLevels", true, true, -1},
              {"resetGraphLevels", false, true, -1},
              {"decreaseMergeThreshold", true, true, -1},
              {"resetMergeThreshold", false, true, -1},
              {"resetAnimationSpeed", false, true, -1},
              {"toggleShowVolumeAvailableSpace", false, true, 0},
              {"toggleShowNames", true, true, 1},
              {"toggleCushions", false, false, 0},
              {"stack", false, false, 0},
              {"spiralSnake", false, false, 1},
              {"increaseDirectoryBorderRatio", false, false, -1},
              {"toggleKeepAspectRatioDuringZoom", false, false, 1},
              {"toggleBeginLayoutOnBottomEdge", false, false, 0},
              {"showEnclosingFolder", false, true, -1}}},
            {"sixteen rings",
             {{"increaseGraphLevels", 8}},
             {{"increaseGraphLevels", false, true, -1},
              {"decreaseGraphLevels", true, true, -1},
              {"resetGraphLevels", true, true, -1}}},
            {"merge threshold 1",
             {{"decreaseMergeThreshold"}},
             {{"decreaseMergeThreshold", false, true, -1},
              {"increaseMergeThreshold", true, true, -1},
              {"resetMergeThreshold", true, true, -1}}},
            {"faster animations",
             {{"increaseAnimationSpeed"}},
             {{"resetAnimationSpeed", true, true, -1}}},
            {"allocated sizes",
             {{"allocatedFileSize"}},
             {{"allocatedFileSize", true, true, 1}, {"fileSize", true, true, 0}}},
            {"tree map",
             {{"treeMap"}},
             {{"treeMap", true, true, 1},
              {"stack", true, true, 0},
              {"spiralSnake", true, true, 1},
              {"increaseGraphLevels", false, false, -1},
              {"decreaseDirectoryBorderRatio", false, true, -1},
              {"increaseDirectoryBorderRatio", true, true, -1},
              {"resetDirectoryBorderRatio", false, true, -1},
              {"toggleKeepAspectRatioDuringZoom", true, true, 1},
              {"toggleBeginLayoutOnBottomEdge", true, true, 0},
              {"toggleCushions", true, true, 0}}},
            {"names off", {{"toggleShowNames"}}, {{"toggleShowNames", true, true, 0}}},
            {"tree map with cushions",
             {{"treeMap"}, {"toggleCushions"}},
             {{"toggleCushions", true, true, 1}}},
            {"tree map, widest border",
             {{"treeMap"}, {"increaseDirectoryBorderRatio", 30}},
             {{"increaseDirectoryBorderRatio", false, true, -1},
              {"decreaseDirectoryBorderRatio", true, true, -1},
              {"resetDirectoryBorderRatio", true, true, -1}}},
            {"tree map, layout and options",
             {{"treeMap"},
              {"stack"},
              {"toggleKeepAspectRatioDuringZoom"},
              {"toggleBeginLayoutOnBottomEdge"}},
             {{"stack", true, true, 1},
              {"spiralSnake", true, true, 0},
              {"toggleKeepAspectRatioDuringZoom", true, true, 0},
              {"toggleBeginLayoutOnBottomEdge", true, true, 1}}},
        };
        return table;
    }
};

const RegisterAppTest<GraphCommandsTest> registered("GraphCommandsTest");

} // namespace
} // namespace tessera::testing

#include "GraphCommandsTest.moc"
