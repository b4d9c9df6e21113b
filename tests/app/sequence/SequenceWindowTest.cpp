// Comparing trees: the sequence window's slider, driven by keys and the mouse, morphs the graph
// between snapshots; the selection dialog opens the chosen trees in their order.
#include "app/sequence/SequenceWindow.h"

#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandIds.h"
#include "app/commands/CommandSet.h"
#include "app/graphview/GraphViewController.h"
#include "app/sequence/ChangeList.h"
#include "app/sequence/SequenceSelectionDialog.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "model/Directory.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

namespace tessera::testing {
namespace {

// The same folder before and after a change: "new" (500 kB) appeared, "c" went.
constexpr const char* kBefore = "\"name\"\t\"size\"\n\"\"\n \"sub\"\n  \"a\"\t400000\n"
                                " \"other\"\n  \"b\"\t200000\n \"c\"\t100000\n";
constexpr const char* kAfter = "\"name\"\t\"size\"\n\"\"\n \"sub\"\n  \"a\"\t400000\n"
                               "  \"new\"\t500000\n \"other\"\n  \"b\"\t200000\n";

struct Snapshots {
    TemporaryDirectory folder;
    std::string before = folder.makeDirectory("monday") + "/home.fssnapshot";
    std::string after = folder.makeDirectory("tuesday") + "/home.fssnapshot";
    Snapshots() {
        write(before, kBefore);
        write(after, kAfter);
    }
    static void write(const std::string& path, const char* text) {
        QFile file(QString::fromStdString(path));
        if (file.open(QIODevice::WriteOnly)) file.write(text);
    }
};

std::vector<SequenceWindow*> sequenceWindows() {
    std::vector<SequenceWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<SequenceWindow*>(widget); window && window->isVisible())
            found.push_back(window);
    return found;
}

SequenceWindow* waitForSequenceWindow() {
    (void)QTest::qWaitFor([] { return !sequenceWindows().empty(); }, 10'000);
    if (sequenceWindows().empty()) return nullptr;
    SequenceWindow* window = sequenceWindows().back();
    if (!QTest::qWaitForWindowActive(window) || !waitUntilAtRest(window->graph())) return nullptr;
    return window;
}

// A comparison of the two snapshots, opened as the app opens it.
struct OpenComparison {
    Snapshots snapshots;
    AppHarness harness;
    SequenceWindow* window = nullptr;
    explicit OpenComparison(GraphType graphType = GraphType::pieChart) {
        harness.documents().settings().graphType = graphType;
        harness.documents().openSequence({snapshots.before, snapshots.after});
        window = waitForSequenceWindow();
    }
};

// Where the slider's handle stands at `value` (in slider steps), in the slider's coordinates.
QPoint handleAt(QSlider& slider, int value) {
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    const QRect handle = slider.style()->subControlRect(QStyle::CC_Slider, &option,
                                                        QStyle::SC_SliderHandle, &slider);
    const int x = QStyle::sliderPositionFromValue(slider.minimum(), slider.maximum(), value,
                                                  slider.width() - handle.width()) +
                  handle.width() / 2;
    return {x, slider.height() / 2};
}

void drag(QSlider& slider, int from, int to) {
    QTest::mousePress(&slider, Qt::LeftButton, {}, handleAt(slider, from));
    const QPoint start = handleAt(slider, from);
    const QPoint end = handleAt(slider, to);
    for (int step = 1; step <= 10; ++step)
        QTest::mouseMove(&slider, start + (end - start) * step / 10);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, end);
}

std::int64_t shownSize(SequenceWindow& window) {
    return window.graph().file()->size();
}

// The modal dialog that is open now.
SequenceSelectionDialog* selectionDialog() {
    return dynamic_cast<SequenceSelectionDialog*>(QApplication::activeModalWidget());
}

void clickRow(QListWidget& list, int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers,
                      list.visualItemRect(list.item(row)).center());
}

class SequenceWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void theSliderMorphsBetweenTreesAndSnapsOntoThem() {
        OpenComparison open;
        SequenceWindow* window = open.window;
        QVERIFY(window != nullptr);
        QSlider& slider = window->slider();
        QCOMPARE(slider.maximum(), SequenceWindow::kStepsPerTree);
        QCOMPARE(shownSize(*window), 700'000);
        QVERIFY(window->windowTitle().contains(QStringLiteral("home")));

        // Nothing changes how a sequence is laid out.
        window->commands().refresh();
        for (const char* id : {"pieChart", "treeMap", "increaseGraphLevels"})
            QVERIFY2(!window->commands().action(CommandId{id})->isEnabled(), id);

        // Keys: Page Up jumps a whole tree on, an arrow one hundredth of one.
        QVERIFY(slider.hasFocus());
        QTest::keyClick(&slider, Qt::Key_PageUp);
        QCOMPARE(slider.value(), 1000);
        QVERIFY(!window->graph().showsFileSequence());
        QCOMPARE(shownSize(*window), 1'100'000);
        QTest::keyClick(&slider, Qt::Key_Left);
        QCOMPARE(slider.value(), 990);
        QVERIFY(window->graph().showsFileSequence());
        QTest::keyClick(&slider, Qt::Key_Home);
        QCOMPARE(slider.value(), 0);
        QCOMPARE(shownSize(*window), 700'000);
        const int reached = window->treesReached();

        // The mouse: let go just short of the second tree, and the slider snaps onto it; coming
        // back onto the same tree is no news.
        drag(slider, 0, 996);
        QCOMPARE(slider.value(), 1000);
        QCOMPARE(window->treesReached(), reached + 1);
        QCOMPARE(shownSize(*window), 1'100'000);
        drag(slider, 1000, 997);
        QCOMPARE(slider.value(), 1000);
        QCOMPARE(window->treesReached(), reached + 1);

        // On a tree, the pointer names what lies under it and how it changed since the tree
        // before.
        hover(window->graphViewController(), pointOf(window->graphViewController(), "sub"));
        QVERIFY(waitUntilHighlighted(window->graph()));
        QTRY_VERIFY2(window->graph().activeText().find("400 KB in the tree before, +500 KB") !=
                         std::string::npos,
                     window->graph().activeText().c_str());
        savePicture(windowPicture(*window, window->graphViewController()), "sequence-second");

        // Halfway, the picture is between the trees.
        drag(slider, 1000, 500);
        QVERIFY(window->graph().showsFileSequence());
        QVERIFY(std::abs(slider.value() - 500) <= 5);
        // The centre's size goes from the one tree's to the other's with the slider.
        QTRY_COMPARE(QString::fromStdString(window->graph().mainText()), QStringLiteral("900 KB"));
        savePicture(windowPicture(*window, window->graphViewController()), "sequence-halfway");
    }

    void theTreeMapMorphsToo() {
        OpenComparison open(GraphType::treeMap);
        SequenceWindow* window = open.window;
        QVERIFY(window != nullptr);
        QCOMPARE(window->graph().settings().graphType, GraphType::treeMap);
        drag(window->slider(), 0, 800);
        QVERIFY(window->graph().showsFileSequence());
        QVERIFY(waitForNextFrame(window->graph()));
        const QImage picture = windowPicture(*window, window->graphViewController());
        savePicture(picture, "sequence-treemap");
        // Mid-way the tree map still covers the view: no hole where the first tree's "c" was.
        const QPoint centre = window->graphViewController().view()->geometry().center();
        QVERIFY(picture.pixelColor(centre) != picture.pixelColor(2, picture.height() / 2));
    }

    // A comparison opens coloured by what changed, in settings of its own; standing on a tree
    // its colours can be chosen from the View menu, while it morphs they cannot.
    void theComparisonIsColouredByWhatChanged() {
        OpenComparison open;
        SequenceWindow* window = open.window;
        QVERIFY(window != nullptr);
        Graph& graph = window->graph();
        QCOMPARE(graph.settings().colorMode, ColorMode::change);
        QCOMPARE(open.harness.documents().settings().colorMode, ColorMode::hueWheel);
        GraphViewController& view = window->graphViewController();
        const auto colourOf = [&](const char* path) {
            const QImage frame = view.surface().grabFrame();
            return frame.pixelColor(fillPointOf(view, path) * frame.devicePixelRatio());
        };
        // On the first tree: "other" stays as it is (grey), "c" goes (cool), "sub" grows (warm).
        const QColor unchanged = colourOf("other/b");
        const QColor gone = colourOf("c");
        const QColor grows = colourOf("sub");
        savePicture(windowPicture(*window, view), "sequence-change-first");
        QVERIFY2(unchanged.saturationF() < 0.05, qPrintable(unchanged.name()));
        QVERIFY2(gone.blue() > gone.red() + 60, qPrintable(gone.name()));
        QVERIFY2(grows.red() > grows.blue() + 60, qPrintable(grows.name()));
        // On the second: what came is warm, what stayed grey.
        QTest::keyClick(&window->slider(), Qt::Key_PageUp);
        QVERIFY(waitForNextFrame(graph));
        QVERIFY(waitUntilAtRest(graph));
        savePicture(windowPicture(*window, view), "sequence-change-second");
        const QColor came = colourOf("sub/new");
        QVERIFY2(came.red() > came.blue() + 60, qPrintable(came.name()));
        QVERIFY2(colourOf("sub/a").saturationF() < 0.05, qPrintable(colourOf("sub/a").name()));

        // Half-way the colours stay as they are.
        QTest::keyClick(&window->slider(), Qt::Key_PageDown);
        QTest::keyClick(&window->slider(), Qt::Key_Right);
        QVERIFY(graph.showsFileSequence());
        window->commands().refresh();
        QVERIFY(!window->commands().action(command::choice(ColorMode::hueWheel))->isEnabled());
        QTest::keyClick(&window->slider(), Qt::Key_Home);
        QVERIFY(!graph.showsFileSequence());

        // Standing on a tree, View > Colours > Colour Wheel.
        QMenu* viewMenu = menuTitled(*window, QStringLiteral("View"));
        QVERIFY(viewMenu != nullptr);
        QTest::keyClick(window, Qt::Key_V, Qt::AltModifier);
        QTRY_VERIFY(viewMenu->isVisible());
        QTest::keyClick(viewMenu, Qt::Key_C);
        QMenu* colours = nullptr;
        QTRY_VERIFY((colours = qobject_cast<QMenu*>(QApplication::activePopupWidget())) !=
                        nullptr &&
                    colours != viewMenu);
        QVERIFY(colours->actions().back()->isVisible()); // Change, shown where trees are compared
        QTest::keyClick(colours, Qt::Key_Home);
        QTest::keyClick(colours, Qt::Key_Return);
        QTRY_COMPARE(graph.settings().colorMode, ColorMode::hueWheel);
        QVERIFY(waitUntilAtRest(graph));
        QVERIFY2(colourOf("other/b").saturationF() > 0.3, qPrintable(colourOf("other/b").name()));
        QCOMPARE(open.harness.documents().settings().colorMode, ColorMode::hueWheel);
    }

    // The list beside the graph names each change, the largest first; a header sorts by its
    // column; Return on a row shows its entry in the graph.
    void theChangesAreListedBesideTheGraph() {
        OpenComparison open;
        SequenceWindow* window = open.window;
        QVERIFY(window != nullptr);
        ChangeList& list = window->changeList();
        const auto row = [&](int index) {
            QStringList texts;
            for (int column = 0; column < list.columnCount(); ++column)
                texts << list.topLevelItem(index)->text(column);
            return texts.join(QLatin1Char('|'));
        };
        QCOMPARE(list.topLevelItemCount(), 2);
        QCOMPARE(row(0), QStringLiteral("New|sub/new||500 KB|+500 KB"));
        QCOMPARE(row(1), QStringLiteral("Gone|c|100 KB||\u2212100 KB"));
        QTest::mouseClick(
            list.header()->viewport(), Qt::LeftButton, {},
            QPoint(list.header()->sectionViewportPosition(4) + 5, list.header()->height() / 2));
        QCOMPARE(row(0).left(4), QStringLiteral("Gone"));

        // On the second tree, the new file is shown in its folder.
        QTest::keyClick(&window->slider(), Qt::Key_PageUp);
        QVERIFY(waitUntilAtRest(window->graph()));
        QCOMPARE(list.topLevelItemCount(), 2);
        QTest::mouseClick(
            list.viewport(), Qt::LeftButton, {},
            list.visualItemRect(
                    list.findItems(QStringLiteral("sub/new"), Qt::MatchExactly, 1).front())
                .center());
        QTest::keyClick(&list, Qt::Key_Return);
        QTRY_COMPARE(window->graph().file()->relativePath(), std::string("sub"));
        QVERIFY(waitUntilAtRest(window->graph()));
        savePicture(windowPicture(*window, window->graphViewController()), "sequence-change-list");
    }

    // View > Same Scale for All Trees, from the keyboard: the smaller tree takes its share of
    // the larger one's circle. A screen reader hears how each entry changed.
    void theScaleIsSharedAndTheChangesAreSpoken() {
        OpenComparison open;
        SequenceWindow* window = open.window;
        QVERIFY(window != nullptr);
        Graph& graph = window->graph();
        QCOMPARE(graph.fileDraw()->totalSize, 0);
        QMenu* viewMenu = menuTitled(*window, QStringLiteral("View"));
        QVERIFY(viewMenu != nullptr);
        QTest::keyClick(window, Qt::Key_V, Qt::AltModifier);
        QTRY_VERIFY(viewMenu->isVisible());
        QTest::keyClick(viewMenu, Qt::Key_A); // Same Scale for All Trees
        QTRY_VERIFY(graph.settings().sameScale);
        QCOMPARE(graph.fileDraw()->totalSize, 1'100'000);
        QVERIFY(waitUntilAtRest(graph));
        // The first tree (700 KB) takes 7/11 of the turn.
        savePicture(windowPicture(*window, window->graphViewController()), "sequence-same-scale");
        QCOMPARE(open.harness.documents().settings().sameScale, false);

        QTest::keyClick(&window->slider(), Qt::Key_PageUp);
        QVERIFY(waitUntilAtRest(graph));
        QAccessibleInterface* chart =
            QAccessible::queryAccessibleInterface(window->graphViewController().view());
        QVERIFY(chart != nullptr && chart->childCount() >= 1);
        QAccessibleInterface* sub = chart->child(0);
        QCOMPARE(sub->text(QAccessible::Name), QStringLiteral("sub"));
        QVERIFY2(sub->text(QAccessible::Description)
                     .endsWith(QStringLiteral("400 KB in the tree before, +500 KB")),
                 qPrintable(sub->text(QAccessible::Description)));
    }

    void cleanup() {
        for (SequenceWindow* window : sequenceWindows())
            window->close();
        QTRY_VERIFY(sequenceWindows().empty());
    }

    void theSelectionOpensTheChosenTreesInTheirOrder() {
        Snapshots snapshots;
        TemporaryDirectory live;
        writeSampleTree(live);
        AppHarness harness;
        DocumentWindow* first = harness.open(snapshots.before);
        QVERIFY(first != nullptr);
        DocumentWindow* liveWindow = harness.open(live.path());
        QVERIFY(liveWindow != nullptr);
        QVERIFY(harness.open(snapshots.after) != nullptr);
        // A favourite keeps its tree after its window closed, and is still offered (first,
        // as the favourites come before the snapshots).
        liveWindow->close();

        bool checked = false;
        QTimer::singleShot(0, [&] {
            SequenceSelectionDialog* dialog = selectionDialog();
            QVERIFY(dialog != nullptr);
            QListWidget& list = dialog->list();
            QCOMPARE(list.count(), 3);
            QCOMPARE(list.item(0)->text(), QString::fromStdString(live.path()).section('/', -1));
            QVERIFY(!dialog->openButton().isEnabled());
            clickRow(list, 1);
            QVERIFY(!dialog->openButton().isEnabled()); // one tree is no comparison
            clickRow(list, 2, Qt::ControlModifier);
            QVERIFY(dialog->openButton().isEnabled());
            checked = true;
            QTest::mouseClick(&dialog->openButton(), Qt::LeftButton);
        });
        first->commands().action(command::compareTrees)->trigger();
        QVERIFY(checked);
        SequenceWindow* window = waitForSequenceWindow();
        QVERIFY(window != nullptr);
        QCOMPARE(shownSize(*window), 700'000); // the first chosen row comes first
        QTest::keyClick(&window->slider(), Qt::Key_End);
        QCOMPARE(shownSize(*window), 1'100'000);
    }

    void aChosenTreeThatIsGoneIsSkipped() {
        Snapshots snapshots;
        TemporaryDirectory base;
        const std::string folder = base.makeDirectory("doomed");
        base.writeFile("doomed/file", 1000);
        AppHarness harness;
        DocumentWindow* snapshot = harness.open(snapshots.before);
        QVERIFY(snapshot != nullptr);
        DocumentWindow* doomed = harness.open(folder);
        QVERIFY(doomed != nullptr);
        FileController* controller = doomed->fileController();

        QTimer::singleShot(0, [&] {
            SequenceSelectionDialog* dialog = selectionDialog();
            QVERIFY(dialog != nullptr);
            clickRow(dialog->list(), 0);
            clickRow(dialog->list(), 1, Qt::ControlModifier);
            QVERIFY(dialog->openButton().isEnabled());
            // The folder goes while the dialog is open: its tree goes with it.
            QVERIFY(QDir(QString::fromStdString(folder)).removeRecursively());
            QTRY_VERIFY(controller->rootFile() == nullptr);
            QTest::mouseClick(&dialog->openButton(), Qt::LeftButton);
        });
        // The dialog runs inside trigger(): a window would be open once it returns.
        snapshot->commands().action(command::compareTrees)->trigger();
        QVERIFY(sequenceWindows().empty());
    }
};

const RegisterAppTest<SequenceWindowTest> registered("SequenceWindowTest");

} // namespace
} // namespace tessera::testing

#include "SequenceWindowTest.moc"
