// A window on a folder draws what the scan has read while it runs: the picture appears soon
// after the first folder is listed and can be hovered and zoomed into; the outline lists it;
// the finished tree replaces it at once, where the user is.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandIds.h"
#include "app/commands/CommandSet.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QPalette>
#include <QTest>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>

namespace tessera::testing {
namespace {

// Folders d00…d39, each with s00…s19 of 250 names of one file of its own: enough that the walk
// outlasts the window's first frames. Names of one file are made in a system call each, and
// each costs the walk a note of the file's other names too.
void writeWideTree(const TemporaryDirectory& folder) {
    for (int d = 0; d < 40; ++d) {
        const std::string file = folder.writeFile("d" + std::to_string(d) + ".data",
                                                  1000 * static_cast<std::size_t>(d + 1));
        for (int s = 0; s < 20; ++s) {
            char name[16];
            std::snprintf(name, sizeof name, "d%02d/s%02d", d, s);
            const std::string sub = folder / name;
            std::filesystem::create_directories(sub);
            for (int f = 0; f < 250; ++f)
                std::filesystem::create_hard_link(file, sub + "/f" + std::to_string(f));
        }
    }
}

class ScanPictureTest final : public QObject {
    Q_OBJECT

private slots:
    void theScansPictureCanBeBrowsedAndGivesWayToItsTree() {
        TemporaryDirectory folder;
        // TESSERA_TEST_SCAN_TREE names a larger tree to look at instead.
        const char* given = std::getenv("TESSERA_TEST_SCAN_TREE");
        if (given == nullptr) writeWideTree(folder);
        const std::string path = given != nullptr ? given : folder.path();

        AppHarness harness;
        QElapsedTimer clock;
        clock.start();
        // Not waiting for the window to be shown: the scan starts with it, and may well be over
        // by then.
        harness.documents().open(path);
        QTRY_VERIFY(!harness.documents().windows().empty());
        DocumentWindow* window = harness.documents().windows().back();
        Graph& graph = window->graph();
        FileController& controller = *window->fileController();
        (void)QTest::qWaitFor(
            [&] {
                return controller.loadedRootFile() != nullptr ||
                       (controller.showsScanPreview() && graph.file() != nullptr);
            },
            10'000);
        if (!controller.showsScanPreview())
            QSKIP("the scan finished before its picture could be looked at");
        // Searching waits for the tree.
        QVERIFY(!window->findChild<QWidget*>(QStringLiteral("searchField"))->isEnabled());
        const qint64 firstPicture = clock.elapsed();
        QVERIFY(waitForNextFrame(graph));
        qInfo("first picture of the scan %lld ms after opening", firstPicture);
        savePicture(windowPicture(*window), "scan-running");
        if (std::getenv("TESSERA_TEST_PICTURES") != nullptr) {
            // The same picture in the dark appearance, to look at.
            const QPalette light = QApplication::palette();
            QApplication::setPalette(darkPalette(light));
            QVERIFY(waitForNextFrame(graph));
            QTest::qWait(50);
            savePicture(windowPicture(*window), "scan-running-dark");
            QApplication::setPalette(light);
        }

        // The outline lists what has been read; a folder opened there stays open in the tree.
        OutlineViewController& outlineController = window->outlineViewController();
        QTreeView* outlineView = outlineController.view();
        QAbstractItemModel* outline = outlineView->model();
        QTRY_VERIFY(outline->rowCount(outline->index(0, 0)) > 0 || outline->rowCount() > 0);
        std::string opened;
        if (controller.showsScanPreview())
            for (File* child : controller.rootFile()->contents())
                if (child->isDirectory()) {
                    opened = child->relativePath();
                    outlineView->expand(outlineController.model().indexOf(*child));
                    break;
                }

        // Hovering names a folder; a click zooms into it while the walk goes on.
        GraphViewController& view = window->graphViewController();
        File* first = nullptr;
        for (File* child : controller.rootFile()->contents())
            if (child->isDirectory() && graph.fileDraw()->center(*child)) {
                first = child;
                break;
            }
        if (first == nullptr || !controller.showsScanPreview())
            QSKIP("the scan finished before a folder of its picture could be reached");
        // The picture moves as it grows: whatever lies under the pointer is taken.
        hover(view, pointOf(view, first->relativePath()));
        if (!controller.showsScanPreview()) QSKIP("the scan finished while the pointer moved");
        QTRY_VERIFY(graph.activeFile() != nullptr || !controller.showsScanPreview());
        if (!controller.showsScanPreview()) QSKIP("the scan finished while the pointer moved");
        QTRY_VERIFY(!graph.activeText().empty() || !controller.showsScanPreview());
        // Its entries are no files to act on: the file commands wait for the tree.
        if (controller.showsScanPreview()) {
            window->commands().refresh();
            for (const CommandId id : {command::moveToTrash, command::showInFileManager,
                                       command::openTerminal, command::copyPath, command::preview})
                QVERIFY2(!window->commands().action(id)->isEnabled(), id.name.data());
        }
        savePicture(windowPicture(*window), "scan-running-hover");
        QTest::mouseClick(view.view(), Qt::LeftButton, {},
                          pointOf(view, graph.activeFile()->relativePath()));
        // (A file of the root's own zooms nowhere.)
        const bool zoomedDuringScan =
            controller.showsScanPreview() && graph.file() != controller.rootFile();
        const std::string zoomed = graph.file()->relativePath();

        // The tree replaces the picture at once, names included, with no fade to wait for (the
        // zoom begun on the picture ends with it); the folder zoomed into stays shown.
        QVERIFY(QTest::qWaitFor([&] { return !controller.showsScanPreview(); }, 120'000));
        if (zoomedDuringScan) QVERIFY(!graph.fileTransitionType());
        QCOMPARE(graph.restingAlpha(), 1.0); // its names come with it
        QVERIFY(waitUntilAtRest(graph));
        if (zoomedDuringScan) {
            QCOMPARE(graph.file(), controller.rootFile()->fileAtPath(zoomed));
        }
        QVERIFY(window->findChild<QWidget*>(QStringLiteral("searchField"))->isEnabled());
        if (!opened.empty()) {
            const File* same = outlineController.model().fileAtPath(opened);
            QVERIFY(same != nullptr);
            QVERIFY(outlineView->isExpanded(outlineController.model().indexOf(*same)));
        }
        savePicture(windowPicture(*window), "scan-finished");
    }
};

const RegisterAppTest<ScanPictureTest> registered("ScanPictureTest");

} // namespace
} // namespace tessera::testing

#include "ScanPictureTest.moc"
