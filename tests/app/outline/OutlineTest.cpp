// The outline under real inotify: rows in the graph's order, following creations, growth,
// renames and deletions on disk as the user sees them, with Qt's model checker watching every
// change, the selection moving on when its row goes, and folders opening as they were left.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "app/widgets/FilePredicateEditor.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace tessera::testing {
namespace {

void write(const std::string& path, qint64 bytes) {
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(bytes, 'x'));
}

QString rowName(const QAbstractItemModel& model, const QModelIndex& index) {
    return model.data(index).toString();
}

// The names of `parent`'s rows, in order.
QStringList rowsUnder(const QAbstractItemModel& model, const QModelIndex& parent) {
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names << rowName(model, model.index(row, 0, parent));
    return names;
}

// Every row the view has taken equals the tree: the same nodes, in the same order.
QString differences(OutlineModel& model) {
    std::vector<QModelIndex> pending{model.index(0, 0)};
    while (!pending.empty()) {
        const QModelIndex index = pending.back();
        pending.pop_back();
        const File* file = model.fileAt(index);
        const Directory* directory = file != nullptr ? file->asDirectory() : nullptr;
        if (directory == nullptr || model.rowCount(index) == 0) continue;
        if (static_cast<std::size_t>(model.rowCount(index)) != directory->count())
            return QStringLiteral("%1: %2 rows for %3 entries")
                .arg(rowName(model, index))
                .arg(model.rowCount(index))
                .arg(directory->count());
        for (int row = 0; row < model.rowCount(index); ++row) {
            const QModelIndex child = model.index(row, 0, index);
            if (model.fileAt(child) != directory->child(static_cast<std::size_t>(row)))
                return QStringLiteral("%1: row %2 is not its entry")
                    .arg(rowName(model, index))
                    .arg(row);
            pending.push_back(child);
        }
    }
    return {};
}

QString selectedName(const OutlineViewController& outline) {
    const File* file = outline.selectedFile();
    return file != nullptr ? QString::fromStdString(std::string(file->path()))
                           : QStringLiteral("(none)");
}

class OutlineTest final : public QObject {
    Q_OBJECT

private slots:
    void theOutlineFollowsTheTreeRowForRow() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        const TemporaryDirectory& folder = harness.sampleFolder();
        QVERIFY(window != nullptr);
        OutlineViewController& outline = window->outlineViewController();
        OutlineModel& model = outline.model();
        QAbstractItemModelTester checker(&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);

        // Hidden at first; the View menu's shortcut shows it.
        QVERIFY(!window->isOutlineShown());
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(window->isOutlineShown());
        QTreeView& view = *outline.view();
        QVERIFY(view.isVisible());

        // The root first, open on its children in the graph's order; the rows after it account
        // for the rest of its volume and stand for no file.
        const QModelIndex root = model.index(0, 0);
        QCOMPARE(model.fileAt(root), window->fileController()->rootFile());
        for (int row = 1; row < model.rowCount(); ++row)
            QVERIFY(model.fileAt(model.index(row, 0)) == nullptr &&
                    model.accountPartAt(model.index(row, 0)));
        QTRY_VERIFY(view.isExpanded(root));
        QCOMPARE(rowsUnder(model, root), (QStringList{"docs", "music", "e"}));
        QCOMPARE(model.data(model.index(0, OutlineModel::size, root)).toString(),
                 QStringLiteral("60 KB"));

        // The user opens music; on disk, music grows past docs.
        const QModelIndex music = model.index(1, 0, root);
        view.expand(music);
        QVERIFY(model.fileAt(music)->asDirectory()->expanded());
        write(folder / "music/big", 50'000);
        QTRY_COMPARE(rowsUnder(model, root), (QStringList{"music", "docs", "e"}));
        QTRY_COMPARE(rowsUnder(model, model.index(0, 0, root)), (QStringList{"big", "c", "deep"}));
        QCOMPARE(differences(model), QString());

        // The selected row goes: the row that takes its place is selected.
        const QModelIndex docs = model.index(1, 0, root);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(docs).center());
        QCOMPARE(selectedName(outline), QStringLiteral("docs"));
        QVERIFY(QDir(QString::fromStdString(folder / "docs")).removeRecursively());
        QTRY_COMPARE(rowsUnder(model, root), (QStringList{"music", "e"}));
        QCOMPARE(selectedName(outline), QStringLiteral("e"));
        // ...or the new last row.
        QFile::remove(QString::fromStdString(folder / "e"));
        QTRY_COMPARE(rowsUnder(model, root), (QStringList{"music"}));
        QCOMPARE(selectedName(outline), QStringLiteral("music"));

        // Renames and moves between open folders, new folders with files in them.
        write(folder / "music/deep/later", 1'000);
        QVERIFY(QDir().rename(QString::fromStdString(folder / "music/c"),
                              QString::fromStdString(folder / "music/deep/c-moved")));
        QVERIFY(QDir().mkpath(QString::fromStdString(folder / "fresh/inner")));
        write(folder / "fresh/inner/f", 70'000);
        QVERIFY(window->graph().fileController() != nullptr);
        QTRY_COMPARE(rowsUnder(model, root), (QStringList{"music", "fresh"}));
        QTRY_COMPARE(differences(model), QString());

        // Closed and opened again, a parent shows its folders as they were left.
        view.collapse(root);
        QVERIFY(!model.fileAt(root)->asDirectory()->expanded());
        view.expand(root);
        QTRY_VERIFY(view.isExpanded(model.index(0, 0, root))); // music was left open
        savePicture(windowPicture(*window), "outline");

        // Show in Graph zooms the graph to the selected folder.
        outline.reveal(*model.fileAt(model.index(0, 0, root)));
        window->commands().refresh();
        window->commands().action(command::showInGraph)->trigger();
        QTRY_COMPARE(window->graph().file()->path(), std::string_view("music"));
    }

    void theSelectedRowsPathIsCopiedAndItsFolderSelected() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        const TemporaryDirectory& folder = harness.sampleFolder();
        QVERIFY(window != nullptr);
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        OutlineViewController& outline = window->outlineViewController();
        QTreeView& view = *outline.view();
        const QModelIndex root = outline.model().index(0, 0);
        QTRY_VERIFY(view.isExpanded(root));
        // docs, then its first row: a.
        view.setFocus();
        view.setCurrentIndex(root);
        QTest::keyClick(&view, Qt::Key_Down);
        QTest::keyClick(&view, Qt::Key_Right);
        QTest::keyClick(&view, Qt::Key_Down);
        QCOMPARE(selectedName(outline), QStringLiteral("a"));
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(QGuiApplication::clipboard()->text(),
                     QString::fromStdString(folder / "docs/a"));
        // Edit > Copy (Ctrl+C) on the list copies the selected rows' paths too.
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QTRY_COMPARE(QGuiApplication::clipboard()->text(),
                     QString::fromStdString(folder / "docs/a"));

        // Select Enclosing Folder, from the outline's context menu.
        QVERIFY(window->commands().action(command::selectEnclosingFolder)->isEnabled());
        window->commands().action(command::selectEnclosingFolder)->trigger();
        QCOMPARE(selectedName(outline), QStringLiteral("docs"));
        // Alt+Up (File > Select Enclosing Folder) acts on the outline while it has the keyboard,
        // and on the graph again once the graph has it.
        QTest::keyClick(&view, Qt::Key_Down);
        QTest::keyClick(&view, Qt::Key_Down);
        QCOMPARE(selectedName(outline), QStringLiteral("b"));
        QTest::keyClick(&view, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(selectedName(outline), QStringLiteral("docs"));
        QCOMPARE(window->graph().file(), window->fileController()->rootFile());
        GraphViewController& graph = window->graphViewController();
        window->graph().setFile(*window->fileController()->rootFile()->fileAtPath("docs"));
        QVERIFY(waitUntilAtRest(window->graph()));
        graph.view()->setFocus();
        QTRY_VERIFY(graph.view()->hasFocus());
        QTest::keyClick(graph.view(), Qt::Key_Up, Qt::AltModifier);
        QTRY_COMPARE(window->graph().file(), window->fileController()->rootFile());
        QCOMPARE(selectedName(outline), QStringLiteral("")); // the list follows the graph
    }

    // A listed file that shrinks below its next sibling moves down; a file made in an empty,
    // closed folder gives the folder's row an arrow that Right opens; a size changed in place
    // updates the whole row. Qt's model checker watches every change.
    void rowsMoveDownFillEmptyFoldersAndChangeInPlace() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        const TemporaryDirectory& folder = harness.sampleFolder();
        QVERIFY(window != nullptr);
        OutlineViewController& outline = window->outlineViewController();
        OutlineModel& model = outline.model();
        QAbstractItemModelTester checker(&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QTreeView& view = *outline.view();
        const QModelIndex root = model.index(0, 0);
        QTRY_VERIFY(view.isExpanded(root));
        const QModelIndex docs = model.index(0, 0, root);
        view.expand(docs);
        QTRY_COMPARE(rowsUnder(model, docs), (QStringList{"a", "b"}));

        const auto rowOf = [&](const QString& name) {
            return model.index(static_cast<int>(rowsUnder(model, root).indexOf(name)), 0, root);
        };
        write(folder / "docs/a", 10'000); // now below b (and docs below music)
        QTRY_COMPARE(rowsUnder(model, rowOf("docs")), (QStringList{"b", "a"}));
        QTRY_COMPARE(differences(model), QString());

        QVERIFY(QDir().mkpath(QString::fromStdString(folder / "empty")));
        QTRY_VERIFY(rowsUnder(model, root).contains(QStringLiteral("empty")));
        const auto emptyRow = [&] { return rowOf(QStringLiteral("empty")); };
        QVERIFY(!model.hasChildren(emptyRow()));
        write(folder / "empty/new", 100);
        QTRY_VERIFY(model.hasChildren(emptyRow()));
        view.setFocus();
        view.setCurrentIndex(emptyRow());
        QTest::keyClick(&view, Qt::Key_Right);
        QTRY_VERIFY(view.isExpanded(emptyRow()));
        QCOMPARE(rowsUnder(model, emptyRow()), QStringList{"new"});

        // e grows a little and keeps its place: every column of its row is told.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        write(folder / "e", 6'000);
        QTRY_VERIFY(!changed.isEmpty());
        bool wholeRow = false;
        for (const QList<QVariant>& arguments : changed) {
            const auto first = arguments.at(0).value<QModelIndex>();
            const auto last = arguments.at(1).value<QModelIndex>();
            wholeRow =
                wholeRow || (rowName(model, first) == QStringLiteral("e") && first.column() == 0 &&
                             last.column() == OutlineModel::kColumns - 1);
        }
        QVERIFY(wholeRow);
        const QModelIndex e = rowOf(QStringLiteral("e")).siblingAtColumn(OutlineModel::size);
        QTRY_COMPARE(model.data(e).toString(), QStringLiteral("6 KB"));
        QCOMPARE(differences(model), QString());
    }

    // View > Size > Number of Files orders the rows afresh, keeping what was open and the
    // selected row; later changes on disk land in the new order; a search that starts and ends
    // keeps the selected row; the folder the graph zooms into opens in the list.
    void aNewMeasureOrdersTheRowsAfreshAndTheSelectionStays() {
        TemporaryDirectory folder;
        folder.writeFile("big/one", 60'000);
        folder.writeFile("big/two", 40'000);
        for (int i = 1; i <= 5; ++i)
            folder.writeFile("many/f" + std::to_string(i), 1'000);
        folder.writeFile("solo", 2'000);
        AppHarness harness;
        DocumentWindow* window = harness.open(folder.path());
        QVERIFY(window != nullptr);
        OutlineViewController& outline = window->outlineViewController();
        OutlineModel& model = outline.model();
        QAbstractItemModelTester checker(&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QTreeView& view = *outline.view();
        const QModelIndex root = model.index(0, 0);
        QTRY_VERIFY(view.isExpanded(root));
        QCOMPARE(rowsUnder(model, root), (QStringList{"big", "many", "solo"}));
        const QModelIndex many = model.index(1, 0, root);
        view.expand(many);
        QTRY_COMPARE(model.rowCount(many), 5);
        const QModelIndex f3 = model.index(2, 0, many);
        QCOMPARE(rowName(model, f3), QStringLiteral("f3"));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(f3).center());
        QCOMPARE(selectedName(outline), QStringLiteral("f3"));

        window->commands().action(command::choice(SizeMode::childCount))->trigger();
        QTRY_COMPARE(rowsUnder(model, model.index(0, 0)), (QStringList{"many", "big", "solo"}));
        QVERIFY(view.isExpanded(model.index(0, 0, model.index(0, 0))));
        QCOMPARE(selectedName(outline), QStringLiteral("f3"));
        QCOMPARE(differences(model), QString());
        for (const char* name : {"c", "d", "e", "f"})
            folder.writeFile(std::string("big/") + name, 10);
        QTRY_COMPARE(rowsUnder(model, model.index(0, 0)), (QStringList{"big", "many", "solo"}));
        QTRY_COMPARE(differences(model), QString());
        QCOMPARE(selectedName(outline), QStringLiteral("f3"));

        // A search that finds the selected file, and its end, leave it selected.
        QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
        QLineEdit& field = window->searchField();
        QTRY_VERIFY(field.hasFocus());
        QTest::keyClicks(&field, QStringLiteral("f"));
        QTRY_VERIFY(model.filter() != nullptr && !outline.isSearching());
        QTRY_COMPARE(selectedName(outline), QStringLiteral("f3"));
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_Backspace);
        QTRY_VERIFY(model.filter() == nullptr);
        QCOMPARE(selectedName(outline), QStringLiteral("f3"));

        // The graph zooms into big, which the user had left closed: the list opens it.
        const QModelIndex big = model.index(0, 0, model.index(0, 0));
        view.collapse(big);
        outline.reveal(*model.fileAt(big));
        window->commands().refresh();
        window->commands().action(command::showInGraph)->trigger();
        QTRY_COMPARE(window->graph().file()->path(), std::string_view("big"));
        QTRY_VERIFY(view.isExpanded(model.index(0, 0, model.index(0, 0))));
        QCOMPARE(selectedName(outline), QStringLiteral("big"));
        savePicture(windowPicture(*window), "outline-by-number-of-files");
        window->commands().action(command::choice(SizeMode::fileSize))->trigger();
    }

    void searchingShowsWhatMatchesAndFollowsChanges() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        const TemporaryDirectory& folder = harness.sampleFolder();
        QVERIFY(window != nullptr);
        OutlineViewController& outline = window->outlineViewController();
        OutlineModel& model = outline.model();
        QAbstractItemModelTester checker(&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(!window->isOutlineShown());

        // Ctrl+F, then typing: the outline shows what matches.
        QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
        QLineEdit& field = window->searchField();
        QTRY_VERIFY(field.hasFocus());
        QTest::keyClicks(&field, QStringLiteral("mus"));
        QVERIFY(window->isOutlineShown());
        QTRY_VERIFY(model.filter() != nullptr && !outline.isSearching());
        const QModelIndex root = model.index(0, 0);
        QTRY_VERIFY(outline.view()->isExpanded(root));
        QCOMPARE(rowsUnder(model, root), QStringList{"music"});

        // A match made on disk joins the result; the whole tree is left alone.
        write(folder / "music/musette", 2'000);
        write(folder / "docs/musical", 3'000);
        // In the graph's order: docs now holds 3 KB that match, music 2 KB.
        QTRY_COMPARE(rowsUnder(model, root), (QStringList{"docs", "music"}));
        const QModelIndex music = model.index(1, 0, root);
        outline.view()->expand(music);
        QTRY_COMPARE(rowsUnder(model, music), QStringList{"musette"});
        QCOMPARE(window->fileController()->rootFile()->count(), 3u);
        QVERIFY(waitUntilAtRest(window->graph()));
        // Below the search's rows the list keeps room for eight rows at least.
        QTRY_VERIFY(outline.view()->viewport()->height() >= 8 * outline.view()->sizeHintForRow(0));
        savePicture(windowPicture(*window), "outline-search");

        // The search's rows show above the list, and editing them searches again.
        QVERIFY(outline.predicateEditor().isVisible());
        QLineEdit* value = nullptr;
        for (QLineEdit* edit : outline.predicateEditor().findChildren<QLineEdit*>())
            if (edit->isVisible()) value = edit;
        QVERIFY(value != nullptr);
        QCOMPARE(value->text(), QStringLiteral("mus"));
        value->selectAll();
        QTest::keyClicks(value, QStringLiteral("E"));
        QTRY_VERIFY(!outline.isSearching());
        // Rows compare names ignoring case: "E" matches e, and music's deep and musette (2 KB
        // of music match, so it follows e).
        QTRY_COMPARE(rowsUnder(model, model.index(0, 0)), (QStringList{"e", "music"}));

        // A regular expression that does not compile is not used, and the editor says why.
        QComboBox* operators = nullptr;
        for (QComboBox* box : outline.predicateEditor().findChildren<QComboBox*>())
            if (box->isVisible() && box->findText(QStringLiteral("matches")) >= 0) operators = box;
        QVERIFY(operators != nullptr);
        operators->setCurrentIndex(operators->findText(QStringLiteral("matches")));
        value->selectAll();
        QTest::keyClicks(value, QStringLiteral("[broken"));
        QTRY_VERIFY(
            outline.predicateEditor().problem().contains(QStringLiteral("regular expression")));
        QVERIFY2(value->toolTip().contains(QStringLiteral("missing terminating ]")),
                 qPrintable(value->toolTip()));
        savePicture(windowPicture(*window), "outline-search-bad-expression");
        value->selectAll();
        QTest::keyClicks(value, QStringLiteral("e"));
        QTRY_VERIFY(outline.predicateEditor().problem().isEmpty());

        // Cleared: the whole tree, and the outline hidden as it was before.
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_Backspace);
        QVERIFY(!window->isOutlineShown());
        QVERIFY(model.filter() == nullptr);
        QVERIFY(!outline.predicateEditor().isVisible());
        QTRY_COMPARE(rowsUnder(model, model.index(0, 0)).size(), 3);

        // With the outline shown first, spaces filter nothing and clearing keeps it shown.
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(window->isOutlineShown());
        QTest::keyClicks(&field, QStringLiteral("  "));
        QVERIFY(model.filter() == nullptr);
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_Backspace);
        QVERIFY(window->isOutlineShown());
        savePicture(windowPicture(*window), "outline-after-search");
    }
};

const RegisterAppTest<OutlineTest> registered("OutlineTest");

} // namespace
} // namespace tessera::testing

#include "OutlineTest.moc"
