// The graph with the keyboard alone and with assistive technology, in a real window: where the
// keys go after a click, a menu or Tab, what the chart's accessible interface lists and
// announces, and entries that outlive the files they stood for. (The same over AT-SPI, as a
// screen reader reads it: tests/accessibility.)
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "app/outline/OutlineViewController.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QWidgetAction>
#include <filesystem>

namespace tessera::testing {
namespace {

// What assistive technology was told, as (event, name, description).
struct Heard {
    QAccessible::Event type;
    QString name;
    QString description;
};
std::vector<Heard>* heardEvents = nullptr;

void recordAccessibilityEvent(QAccessibleEvent* event) {
    if (heardEvents == nullptr || event->type() != QAccessible::Focus) return;
    QAccessibleInterface* source = event->accessibleInterface();
    if (source == nullptr || !source->isValid()) return;
    heardEvents->push_back(
        {event->type(), source->text(QAccessible::Name), source->text(QAccessible::Description)});
}

class GraphKeyboardTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        harness = std::make_unique<AppHarness>();
        window = harness->openSample();
        QVERIFY(window != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(window));
        heard.clear();
        heardEvents = &heard;
        // Qt's bridge turns on once it reaches the accessibility bus.
        QTRY_VERIFY2_WITH_TIMEOUT(
            QAccessible::isActive(),
            "run with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 on a session bus, as ctest does", 15'000);
        QAccessible::installUpdateHandler(recordAccessibilityEvent);
    }
    void cleanup() {
        QAccessible::installUpdateHandler(nullptr);
        heardEvents = nullptr;
        harness.reset();
    }

    // A click gives the graph the keys; Tab leaves it and Shift+Tab comes back.
    void aClickGivesTheGraphTheKeysAndTabLeavesIt() {
        GraphViewController& controller = window->graphViewController();
        QWidget* view = controller.view();
        window->searchField().setFocus();
        QTRY_VERIFY(window->searchField().hasFocus());
        QTest::mouseClick(view, Qt::LeftButton, {}, widgetPoint(controller, 0, 0));
        QTRY_VERIFY(view->hasFocus());
        // A ring in the highlight colour shows where the keys go.
        const QPoint ring = controller.container()->mapTo(window, QPoint(1, 1));
        const QColor highlight = window->palette().color(QPalette::Highlight);
        QTRY_COMPARE(windowPicture(*window).pixelColor(ring), highlight);
        savePicture(windowPicture(*window), "graph-focus-ring");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_VERIFY(!view->hasFocus());
        QTRY_VERIFY(windowPicture(*window).pixelColor(ring) != highlight);
        QVERIFY(QApplication::focusWidget() != nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QTRY_VERIFY(view->hasFocus());
        const QPalette light = QApplication::palette();
        QPalette dark = darkPalette(light);
        dark.setColor(QPalette::Highlight, QColor(61, 174, 233));
        QApplication::setPalette(dark);
        QTRY_COMPARE(windowPicture(*window).pixelColor(ring), QColor(61, 174, 233));
        QVERIFY(waitForNextFrame(window->graph()));
        savePicture(windowPicture(*window), "graph-focus-ring-dark");
        QApplication::setPalette(light);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(window->graph().activeFile()->relativePath(), "docs");
    }

    // With the outline shown, Tab goes from the search field to the list and on to the graph;
    // hidden, the list is passed by.
    void tabGoesFromTheSearchFieldThroughTheOutlineToTheGraph() {
        QWidget* view = window->graphViewController().view();
        QTreeView* outline = window->outlineViewController().view();
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(window->isOutlineShown());
        window->searchField().setFocus();
        QTRY_VERIFY(window->searchField().hasFocus());
        QTest::keyClick(&window->searchField(), Qt::Key_Tab);
        QTRY_VERIFY(outline->hasFocus());
        QTest::keyClick(outline, Qt::Key_Tab);
        QTRY_VERIFY(view->hasFocus());
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!window->isOutlineShown());
        QVERIFY(!outline->isVisible());
        window->searchField().setFocus();
        QTRY_VERIFY(window->searchField().hasFocus());
        QTest::keyClick(&window->searchField(), Qt::Key_Tab);
        QTRY_VERIFY(view->hasFocus());
    }

    // View > Graph Type chosen with the keyboard: the keys are the graph's again afterwards.
    void theKeysComeBackToTheGraphAfterTheMenu() {
        Graph& graph = window->graph();
        QWidget* view = window->graphViewController().view();
        view->setFocus();
        QTRY_VERIFY(view->hasFocus());
        QMenu* viewMenu = menuTitled(*window, QStringLiteral("View"));
        QVERIFY(viewMenu != nullptr);
        QTest::keyClick(window, Qt::Key_V, Qt::AltModifier);
        QTRY_VERIFY(viewMenu->isVisible());
        QTest::keyClick(viewMenu, Qt::Key_G); // Graph Type
        QMenu* types = nullptr;
        QTRY_VERIFY((types = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr &&
                    types != viewMenu);
        QTest::keyClick(types, Qt::Key_T); // Tree Map
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QVERIFY(waitUntilAtRest(graph));
        QCOMPARE(graph.settings().graphType, GraphType::treeMap);
        QTRY_VERIFY(view->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QVERIFY(graph.activeFile() != nullptr);
        QCOMPARE(graph.activeFile()->relativePath(), "docs");
    }

    // The View menu's steppers from the keyboard: reached with Down, Right to Increase, Return.
    void theViewMenusSteppersWorkFromTheKeyboard() {
        Graph& graph = window->graph();
        const int rings = graph.settings().graphLevels;
        QMenu* viewMenu = menuTitled(*window, QStringLiteral("View"));
        QTest::keyClick(window, Qt::Key_V, Qt::AltModifier);
        QTRY_VERIFY(viewMenu->isVisible());
        QToolButton* increase = nullptr;
        for (int step = 0; step < 20 && increase == nullptr; ++step) {
            QTest::keyClick(viewMenu, Qt::Key_Down);
            auto* button = qobject_cast<QToolButton*>(QApplication::focusWidget());
            if (button != nullptr && button->accessibleName().startsWith(QStringLiteral("Rings")))
                increase = button;
        }
        QVERIFY2(increase != nullptr, "Down never gave the Rings row the keyboard");
        // The row's first button that can be pressed has it: Decrease, or Increase at the least.
        if (increase->accessibleName() != QStringLiteral("Rings: Increase"))
            QTest::keyClick(increase, Qt::Key_Right);
        QAbstractButton* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        QVERIFY(focused != nullptr);
        QCOMPARE(focused->accessibleName(), QStringLiteral("Rings: Increase"));
        QVERIFY(!static_cast<QToolButton*>(focused)->autoRaise()); // drawn raised
        savePicture(viewMenu->grab().toImage(), "view-menu-stepper-keyboard");
        QTest::keyClick(focused, Qt::Key_Return);
        QTRY_COMPARE(graph.settings().graphLevels, rings + 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!viewMenu->isVisible());
        // The rows are named for screen readers.
        bool named = false;
        for (QAction* action : viewMenu->actions())
            if (qobject_cast<QWidgetAction*>(action) != nullptr &&
                action->text() == QStringLiteral("Rings"))
                named = true;
        QVERIFY(named);
    }

    // The chart lists what it shows; the keys announce the entry they reach and the folder a
    // zoom shows.
    void theChartListsItsEntriesAndAnnouncesTheKeys() {
        GraphViewController& controller = window->graphViewController();
        QWidget* view = controller.view();
        Graph& graph = window->graph();
        view->setFocus();
        QTRY_VERIFY(view->hasFocus());
        QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(view);
        QVERIFY(chart != nullptr);
        QCOMPARE(chart->role(), QAccessible::Chart);
        const QString root = QString::fromStdString(
            window->fileController()->displayName(*window->fileController()->rootFile()));
        QCOMPARE(chart->text(QAccessible::Description), root + QStringLiteral(", 105 KB"));
        QVERIFY(chart->childCount() >= 2);
        QAccessibleInterface* docs = chart->child(0);
        QCOMPARE(docs->text(QAccessible::Name), QStringLiteral("docs"));
        QCOMPARE(docs->role(), QAccessible::ListItem);
        QCOMPARE(docs->parent(), chart);
        QCOMPARE(chart->indexOfChild(docs), 0);
        QCOMPARE(docs->childCount(), 2);
        QAccessibleInterface* a = docs->child(0);
        QCOMPARE(a->text(QAccessible::Description), QStringLiteral("40 KB, 67 % of docs, 1 of 2"));
        QCOMPARE(a->parent(), docs);
        QVERIFY(view->rect().contains(view->mapFromGlobal(a->rect().center())));
        QCOMPARE(chart->childAt(a->rect().center().x(), a->rect().center().y()), a);

        heard.clear();
        QTest::keyClick(view, Qt::Key_Down);
        QTRY_VERIFY(!heard.empty());
        QCOMPARE(heard.back().name, QStringLiteral("docs"));
        QVERIFY(heard.back().description.startsWith(QStringLiteral("60 KB, 57 % of ")));
        QCOMPARE(chart->focusChild(), docs);
        QVERIFY(docs->state().focused);
        QTest::keyClick(view, Qt::Key_Left);
        QTRY_COMPARE(heard.back().name, QStringLiteral("music"));

        heard.clear();
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(waitUntilAtRest(graph));
        QTRY_VERIFY(!heard.empty());
        QCOMPARE(heard.back().name, QStringLiteral("Disk usage graph"));
        QCOMPARE(heard.back().description, QStringLiteral("music, 40 KB"));
        QCOMPARE(chart->child(0)->text(QAccessible::Name), QStringLiteral("c"));
    }

    // An entry read before its file went answers nothing instead of reading freed memory.
    void anEntryOfAFileThatWentAnswersNothing() {
        GraphViewController& controller = window->graphViewController();
        Graph& graph = window->graph();
        QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(controller.view());
        QAccessibleInterface* music = nullptr;
        for (int i = 0; i < chart->childCount(); ++i)
            if (chart->child(i)->text(QAccessible::Name) == QStringLiteral("music"))
                music = chart->child(i);
        QVERIFY(music != nullptr);
        QAccessibleInterface* deep = music->child(1);
        QVERIFY(deep != nullptr && deep->isValid());
        const QAccessible::Id deepId = QAccessible::uniqueId(deep);
        std::filesystem::remove_all(std::filesystem::path(harness->sampleFolder().path()) /
                                    "music");
        QTRY_VERIFY_WITH_TIMEOUT(graph.file()->size() == 65'000, 30'000);
        // The entries made before the change are gone from the registry or answer nothing.
        QAccessibleInterface* again = QAccessible::accessibleInterface(deepId);
        QVERIFY(again == nullptr || !again->isValid());
        for (int i = 0; i < chart->childCount(); ++i)
            QVERIFY(chart->child(i)->text(QAccessible::Name) != QStringLiteral("music"));
    }

private:
    std::unique_ptr<AppHarness> harness;
    DocumentWindow* window = nullptr;
    std::vector<Heard> heard;
};

const RegisterAppTest<GraphKeyboardTest> registered("GraphKeyboardTest");

} // namespace
} // namespace tessera::testing

#include "GraphKeyboardTest.moc"
