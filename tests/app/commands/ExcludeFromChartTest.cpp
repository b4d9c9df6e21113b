// Exclude from Chart on a folder's context menu: the folder leaves the live tree at once and
// stays out (changes inside it and later scans included), the rule is saved with a kept favourite,
// and Edit > Undo brings the folder back.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "app/graphview/GraphViewController.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "favorites/Predicate.h"
#include "model/Directory.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

namespace tessera::testing {
namespace {

class ExcludeFromChartTest final : public QObject {
    Q_OBJECT

private slots:
    void aFolderLeftOutOfTheChartComesBackWithUndo() {
        TemporaryDirectory folder;
        writeSampleTree(folder);
        AppHarness harness;
        // A kept favourite, whose rules are saved with it.
        harness.documents().favorites().add(folder.path(), true);
        DocumentWindow* window = harness.open(folder.path());
        QVERIFY(window != nullptr);
        const auto root = [window] { return window->fileController()->rootFile(); };
        GraphViewController& view = window->graphViewController();
        QAction* exclude = window->commands().action(command::excludeFromChart);
        QVERIFY(exclude != nullptr);

        // Only folders below the root can be left out: not a file, not the root.
        hover(view, pointOf(view, "e"));
        QVERIFY(waitUntilHighlighted(window->graph()));
        window->commands().refresh();
        QVERIFY(!exclude->isEnabled());

        // The context menu of "music", and its mnemonic.
        hover(view, pointOf(view, "music"));
        QVERIFY(waitUntilHighlighted(window->graph()));
        bool chosen = false;
        QTimer::singleShot(0, [&] {
            QMenu* menu = nullptr;
            QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) !=
                        nullptr);
            QVERIFY(menu->actions().contains(exclude));
            QVERIFY(exclude->isEnabled());
            savePicture(menu->grab().toImage(), "exclude-context-menu");
            QTest::keyClick(menu, Qt::Key_X);
            chosen = true;
        });
        QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                          view.view()->mapTo(window, pointOf(view, "music")));
        QTRY_VERIFY(chosen);
        QTRY_COMPARE(root()->count(), 2u);
        QCOMPARE(root()->size(), 65'000);
        QVERIFY(window->statusBar()->currentMessage().contains(QStringLiteral("Edit > Undo")));
        QCOMPARE(window->undoStack().undoText(), QStringLiteral("Exclude “music” from Chart"));
        const auto exclusion = window->favorite()->activeExclusion();
        QVERIFY(exclusion != nullptr && exclusion->evaluatePath(folder / "music"));
        QFile settings(QString::fromStdString(harness.settingsPath()));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("path == \\\"" +
                                            QByteArray::fromStdString(folder / "music")));
        settings.close();

        // Changes inside it do not bring it back.
        folder.writeFile("music/new", 7'000);
        folder.writeFile("fresh", 1'000);
        QTRY_COMPARE(root()->size(), 66'000);
        QVERIFY(root()->fileAtPath("music") == nullptr);

        // Undo, from the keyboard: the folder is measured again, with what came since.
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(root()->size(), 113'000);
        QVERIFY(root()->fileAtPath("music/new") != nullptr);
        QCOMPARE(window->favorite()->activeExclusion(), nullptr);

        // Redo, then a rescan of the favourite: still left out.
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(root()->size(), 66'000);
        FavoriteManager& favorites = harness.documents().favorites();
        harness.documents().rescan(favorites.at(favorites.indexOf(*window->favorite())));
        QTRY_VERIFY(window->fileController()->loadedRootFile() != nullptr &&
                    window->fileController()->loadedRootFile()->count() == 3);
        QCOMPARE(root()->size(), 66'000);
        QVERIFY(root()->fileAtPath("music") == nullptr);
    }
};

const RegisterAppTest<ExcludeFromChartTest> registered("ExcludeFromChartTest");

} // namespace
} // namespace tessera::testing

#include "ExcludeFromChartTest.moc"
