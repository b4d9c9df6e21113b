// File > Statistics: the shown folder's files by type, size and month in a window of its own,
// totals equal to the folder's, tables sorted by a click on a header, a row chosen with Return
// lighting its files in the graph and listing them in the outline, and counted again as the
// tree changes.
#include "app/statistics/StatisticsWindow.h"

#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPalette>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

namespace tessera::testing {
namespace {

class StatisticsWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void theStatisticsOfTheShownFolderLightTheirFiles() {
        TemporaryDirectory folder;
        folder.writeFile("photos/a.jpg", 30'000);
        folder.writeFile("photos/b.JPG", 10'000);
        folder.writeFile("notes.txt", 5'000);
        folder.writeFile("README", 1'000);
        AppHarness harness;
        DocumentWindow* window = harness.open(folder.path());
        QVERIFY(window != nullptr);

        QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
        QMenu* file = menuTitled(*window, QStringLiteral("File"));
        QTRY_VERIFY(file->isVisible());
        QTest::keyClick(file, Qt::Key_I);
        StatisticsWindow* statistics = nullptr;
        QTRY_VERIFY((statistics = window->findChild<StatisticsWindow*>()) != nullptr &&
                    statistics->isVisible() && statistics->statistics().has_value());
        const Directory& root = *window->fileController()->rootFile();
        QCOMPARE(statistics->statistics()->size, root.size());
        QCOMPARE(statistics->statistics()->files, 4);

        // By type, the largest first; a click on the Files header sorts by count.
        QTreeWidget& types = statistics->types();
        QCOMPARE(types.topLevelItemCount(), 3);
        QCOMPARE(types.topLevelItem(0)->text(0), QStringLiteral(".jpg"));
        QCOMPARE(types.topLevelItem(0)->text(2), QStringLiteral("2"));
        QCOMPARE(types.topLevelItem(0)->text(5), QStringLiteral("photos/a.jpg, photos/b.JPG"));
        QHeaderView* header = types.header();
        const QPoint filesHeader(header->sectionViewportPosition(2) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, filesHeader);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, filesHeader);
        QCOMPARE(types.sortColumn(), 2);
        const bool ascending = header->sortIndicatorOrder() == Qt::AscendingOrder;
        QCOMPARE(types.topLevelItem(ascending ? 2 : 0)->text(0), QStringLiteral(".jpg"));
        savePicture(statistics->grab().toImage(), "statistics-types");

        // Return on the row of .jpg: its files lit and listed.
        QTreeWidgetItem* jpg = types.findItems(QStringLiteral(".jpg"), Qt::MatchExactly).front();
        types.setFocus();
        types.setCurrentItem(jpg);
        QTest::keyClick(&types, Qt::Key_Return);
        QTRY_VERIFY(window->graph().litFilter() != nullptr);
        OutlineModel& outline = window->outlineViewController().model();
        QTRY_VERIFY(outline.filter() != nullptr && outline.observedRootFile() != nullptr &&
                    outline.observedRootFile()->fileAtPath("photos/b.JPG") != nullptr);
        QVERIFY(outline.observedRootFile()->fileAtPath("photos/a.jpg") != nullptr);
        QVERIFY(outline.observedRootFile()->fileAtPath("notes.txt") == nullptr);
        QVERIFY(window->isOutlineShown());

        // The sizes and the months; a new file is counted within a few seconds.
        statistics->tabs().setCurrentIndex(1);
        QVERIFY(statistics->sizes().topLevelItemCount() >= 3);
        savePicture(statistics->grab().toImage(), "statistics-sizes");
        // The histogram in the dark appearance, to look at: its bars and labels follow the
        // palette.
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            dark.setColor(role, QColor(40, 40, 40));
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(role, Qt::white);
        QApplication::setPalette(dark);
        QTRY_COMPARE(statistics->palette().color(QPalette::Window), QColor(40, 40, 40));
        savePicture(statistics->grab().toImage(), "statistics-sizes-dark");
        QApplication::setPalette(light);
        QCOMPARE(statistics->months().topLevelItemCount(), 1);
        folder.writeFile("photos/c.jpg", 2'000);
        QTRY_VERIFY_WITH_TIMEOUT(statistics->statistics()->files == 5, 10'000);
        QCOMPARE(statistics->statistics()->size, window->fileController()->rootFile()->size());
    }
};

const RegisterAppTest<StatisticsWindowTest> registered("StatisticsWindowTest");

} // namespace
} // namespace tessera::testing

#include "StatisticsWindowTest.moc"
