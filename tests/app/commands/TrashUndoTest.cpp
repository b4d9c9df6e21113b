// Move to Trash from the outline and the graph, with undo and redo through the real trash (kept
// in a temporary folder for the test), and Delete in a snapshot, which only takes the node away.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "controller/FileController.h"
#include "model/Directory.h"
#include "snapshot/Snapshot.h"
#include "support/TreeBuilders.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>

namespace tessera::testing {
namespace {

bool exists(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

class TrashUndoTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The home trash, on the same volume as the test's folders.
        ::setenv("XDG_DATA_HOME", (data_ / "share").c_str(), 1);
    }

    void aFileMovedToTheTrashComesBackWithUndo() {
        TemporaryDirectory folder;
        writeSampleTree(folder);
        AppHarness harness;
        DocumentWindow* window = harness.open(folder.path());
        QVERIFY(window != nullptr);
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        OutlineViewController& outline = window->outlineViewController();
        OutlineModel& model = outline.model();
        const QModelIndex root = model.index(0, 0);
        QTRY_COMPARE(model.rowCount(root), 3);
        const QModelIndex e = model.index(2, 0, root);
        QCOMPARE(model.data(e).toString(), QStringLiteral("e"));
        QTest::mouseClick(outline.view()->viewport(), Qt::LeftButton, {},
                          outline.view()->visualRect(e).center());
        QVERIFY(outline.view()->hasFocus());

        QTest::keyClick(outline.view(), Qt::Key_Delete);
        QVERIFY(!exists(folder / "e"));
        QVERIFY(exists(data_ / "share/Trash/files/e"));
        QTRY_COMPARE(window->fileController()->rootFile()->count(), 2u);
        QVERIFY(window->undoStack().canUndo());
        QCOMPARE(window->undoStack().undoText(), QStringLiteral("Move “e” to Trash"));

        // Undone from the search field, which has no typing of its own to undo.
        window->searchField().setFocus();
        QTRY_VERIFY(window->searchField().hasFocus());
        QTest::keyClick(&window->searchField(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(exists(folder / "e"));
        QVERIFY(!exists(data_ / "share/Trash/files/e"));
        QTRY_COMPARE(window->fileController()->rootFile()->count(), 3u);
        QCOMPARE(window->fileController()->rootFile()->size(), 105'000);

        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!exists(folder / "e"));
        QTRY_COMPARE(window->fileController()->rootFile()->count(), 2u);

        // A new file took the old place: undo says so and overwrites nothing.
        QFile newcomer(QString::fromStdString(folder / "e"));
        QVERIFY(newcomer.open(QIODevice::WriteOnly));
        newcomer.write("new");
        newcomer.close();
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QMessageBox* refusal = nullptr;
        QTRY_VERIFY((refusal = window->findChild<QMessageBox*>()) != nullptr);
        QVERIFY2(refusal->text().contains(QStringLiteral("something else is there now")),
                 qPrintable(refusal->text()));
        QCOMPARE(refusal->windowTitle(), QStringLiteral("Cannot Put Back from Trash"));
        refusal->accept();
        QCOMPARE(QFileInfo(QString::fromStdString(folder / "e")).size(), 3);
        QVERIFY(exists(data_ / "share/Trash/files/e"));
    }

    void deleteInASnapshotOnlyTakesTheNodeAway() {
        TemporaryDirectory folder;
        const auto tree = dir("", dir("photos", file("p1", 7'000'000)), file("notes", 1'000'000));
        const std::string path = folder / "home.fssnapshot";
        QVERIFY(Snapshot::save(*tree, {}, path));
        AppHarness harness;
        DocumentWindow* window = harness.open(path);
        QVERIFY(window != nullptr);
        window->commands().refresh();
        QCOMPARE(window->commands().action(command::moveToTrash)->text(),
                 QStringLiteral("&Delete"));
        GraphViewController& graph = window->graphViewController();
        hover(graph, pointOf(graph, "notes"));
        QTRY_VERIFY(window->graph().activeFile() != nullptr);
        QTest::keyClick(graph.view(), Qt::Key_Delete);
        QTRY_COMPARE(window->fileController()->rootFile()->count(), 1u);
        QCOMPARE(window->fileController()->rootFile()->size(), 7'000'000);
        QVERIFY(!window->undoStack().canUndo());
        QVERIFY(exists(path)); // the snapshot file itself is left alone
    }

private:
    TemporaryDirectory data_;
};

const RegisterAppTest<TrashUndoTest> registered("TrashUndoTest");

} // namespace
} // namespace tessera::testing

#include "TrashUndoTest.moc"
