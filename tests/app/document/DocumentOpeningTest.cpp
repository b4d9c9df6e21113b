// Opening locations as users give them: folders (through symbolic links too), snapshots read off
// the main thread, and what cannot be opened refused with a dialog and no window.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "controller/FileController.h"
#include "model/Directory.h"
#include "snapshot/Snapshot.h"
#include "support/TreeBuilders.h"
#include "support/UserNamespace.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <cerrno>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessera::testing {
namespace {

// The error dialog on screen, if any.
QWidget* readingDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QStringLiteral("snapshotReading") && widget->isVisible())
            return widget;
    return nullptr;
}

QMessageBox* errorDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            return box;
    return nullptr;
}

class DocumentOpeningTest final : public QObject {
    Q_OBJECT

private slots:
    void theTitleFollowsTheFolderWhenItIsRenamed() {
        TemporaryDirectory places;
        const std::string folder = places.makeDirectory("before");
        places.writeFile("before/file", 1000);
        AppHarness harness;
        DocumentWindow* window = harness.open(folder);
        QVERIFY(window != nullptr);
        QCOMPARE(window->windowTitle(), QStringLiteral("before"));
        QVERIFY(QDir().rename(QString::fromStdString(folder),
                              QString::fromStdString(places / "after")));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("after"));
    }

    void aFolderThatGoesSaysSoAndOffersToCloseTheWindow() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        auto* notice = window->findChild<QWidget*>(QStringLiteral("goneNotice"));
        QVERIFY(notice != nullptr);
        QVERIFY(!notice->isVisible());
        const QString folder = QString::fromStdString(harness.sampleFolder().path());
        QVERIFY(QDir(folder).removeRecursively());
        QTRY_VERIFY(notice->isVisible());
        const QString text = notice->findChild<QLabel*>(QStringLiteral("goneText"))->text();
        QVERIFY2(text.contains(QFileInfo(folder).fileName()) &&
                     text.contains(QStringLiteral("no longer exists")),
                 qPrintable(text));
        savePicture(windowPicture(*window), "folder-gone");
        // In a dark desktop palette the notice takes the palette's tooltip colours.
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 60));
        dark.setColor(QPalette::ToolTipText, Qt::white);
        dark.setColor(QPalette::Button, QColor(55, 55, 55));
        dark.setColor(QPalette::ButtonText, Qt::white);
        QApplication::setPalette(dark);
        QTRY_COMPARE(notice->palette().color(QPalette::ToolTipBase), QColor(60, 60, 60));
        // The empty graph below it turns dark with the window.
        const auto graphIsDark = [&] {
            const QImage picture = windowPicture(*window);
            const QWidget& view = *window->graphViewController().view();
            const QPoint middle = view.mapTo(window, view.rect().center());
            return qGray(picture.pixel(middle)) < 100;
        };
        QTRY_VERIFY(graphIsDark());
        savePicture(windowPicture(*window), "folder-gone-dark");
        QApplication::setPalette(light);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("goneClose")),
                          Qt::LeftButton);
        QTRY_VERIFY(!window->isVisible());
    }

    void aFavouriteWhoseFolderIsGoneSaysSoInsteadOfLoadingForever() {
        TemporaryDirectory places;
        const std::string folder = places.makeDirectory("gone");
        AppHarness harness;
        Application& application = harness.documents();
        const std::size_t index = application.favorites().add(folder, true).first;
        QVERIFY(QDir(QString::fromStdString(folder)).removeRecursively());
        application.open(application.favorites().at(index));
        QTRY_VERIFY(!application.windows().empty());
        DocumentWindow* window = application.windows().back();
        auto* notice = window->findChild<QWidget*>(QStringLiteral("goneNotice"));
        QVERIFY(notice != nullptr);
        QTRY_VERIFY(notice->isVisible());
        QVERIFY(!window->graph().isLoading());
    }

    void aSymbolicLinkToAFolderOpensTheFolder() {
        TemporaryDirectory folder;
        writeSampleTree(folder);
        TemporaryDirectory links;
        const std::string link = links / "link";
        QCOMPARE(::symlink(folder.path().c_str(), link.c_str()), 0);
        AppHarness harness;
        DocumentWindow* window = harness.open(link + "/");
        QVERIFY(window != nullptr);
        QCOMPARE(window->fileController()->rootFile()->size(), 105'000);
        QVERIFY(!window->fileController()->isSnapshot());
    }

    // With no inotify instance left, the window opens with the tree as measured and says in its
    // status bar that it no longer follows the disk.
    void aTreeThatCannotBeWatchedSaysSoInItsWindow() {
        TemporaryDirectory folder;
        writeSampleTree(folder);
        std::vector<int> hoarded;
        for (int fd = 0; hoarded.size() < 900 && (fd = ::inotify_init1(IN_CLOEXEC)) >= 0;)
            hoarded.push_back(fd);
        const int error = errno;
        const auto release = [&] {
            for (const int fd : std::exchange(hoarded, {}))
                ::close(fd);
        };
        if (hoarded.size() >= 900 || error != EMFILE) {
            release();
            QSKIP("inotify instances are not limited here");
        }
        AppHarness harness;
        DocumentWindow* window = harness.open(folder.path());
        release();
        QVERIFY(window != nullptr);
        QTRY_VERIFY(!window->fileController()->isLive());
        QCOMPARE(window->fileController()->rootFile()->size(), 105'000);
        auto* bar = window->findChild<QStatusBar*>();
        QVERIFY(bar != nullptr);
        QTRY_VERIFY(bar->isVisible());
        QVERIFY2(bar->currentMessage().contains(QStringLiteral("no longer followed")),
                 qPrintable(bar->currentMessage()));
        savePicture(windowPicture(*window), "window-not-live");
    }

    // Over the user's inotify watch budget (another process of the user spent most of it), the
    // window says that part of the tree is not followed live and why, and says no more of it
    // once the budget has room again. Run in a user namespace where the budget can be set.
    void aTreeOverTheWatchLimitSaysSoInItsWindow() {
        if (!inOwnUserNamespace()) {
            const auto status = rerunInUserNamespace(
                UserNamespace::root,
                {"DocumentOpeningTest", "aTreeOverTheWatchLimitSaysSoInItsWindow"});
            if (!status) QSKIP(status.error().c_str());
            QCOMPARE(*status, 0);
            return;
        }
        QVERIFY(setWatchBudget(20));
        TemporaryDirectory folder;
        std::vector<std::string> hogged;
        for (int i = 0; i < 15; ++i)
            hogged.push_back(folder.makeDirectory("hog" + std::to_string(i)));
        WatchHog hog(hogged);
        QCOMPARE(hog.watches(), 15);
        for (int i = 0; i < 12; ++i)
            folder.writeFile("tree/d" + std::to_string(i) + "/file", 1000 * (i + 1));
        AppHarness harness;
        DocumentWindow* window = harness.open(folder / "tree");
        QVERIFY(window != nullptr);
        // The root and four folders take the five watches left.
        QTRY_COMPARE(window->fileController()->polledFolderCount(), std::size_t{8});
        QTRY_VERIFY(window->findChild<QStatusBar*>() != nullptr);
        auto* bar = window->findChild<QStatusBar*>();
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->currentMessage(),
                 QStringLiteral("8 folders are not followed live: the limit of inotify watches "
                                "(fs.inotify.max_user_watches) is reached. Changes there show a "
                                "few seconds late."));
        QVERIFY(window->fileController()->isLive());
        savePicture(windowPicture(*window), "window-over-the-watch-limit");
        hog.end();
        QTRY_VERIFY_WITH_TIMEOUT(bar->currentMessage().isEmpty(), 10000);
    }

    void aSnapshotOpensAsATreeWithoutScanning() {
        TemporaryDirectory folder;
        const auto root = dir("", dir("photos", file("p1", 7'000'000), file("p2", 3'000'000)),
                              file("notes", 1'000'000));
        const std::string path = folder / "home.fssnapshot";
        QVERIFY(Snapshot::save(*root, {}, path));
        AppHarness harness;
        DocumentWindow* window = harness.open(path);
        QVERIFY(window != nullptr);
        QVERIFY(window->fileController()->isSnapshot());
        QCOMPARE(window->windowTitle(), QStringLiteral("home.fssnapshot"));
        QCOMPARE(window->graph().file()->size(), 11'000'000);
        QCOMPARE(QString::fromStdString(window->graph().mainText()), QStringLiteral("11 MB"));
        savePicture(windowPicture(*window), "window-snapshot");
        // Nothing to preview in a snapshot.
        hover(window->graphViewController(), pointOf(window->graphViewController(), "notes"));
        QTRY_VERIFY(window->graph().activeFile() != nullptr);
        window->commands().refresh();
        QVERIFY(!window->commands().action(command::preview)->isEnabled());
    }

    // A snapshot that takes a while shows how far its reading has come; Cancel stops it, and no
    // window and no error follow.
    void aLongReadingShowsItsProgressAndCancelStopsIt() {
        TemporaryDirectory folder;
        std::vector<FilePtr> folders;
        for (int f = 0; f < 1'000; ++f) {
            std::vector<FilePtr> files;
            for (int i = 0; i < 800; ++i)
                files.push_back(file("file-" + std::to_string(i), 1'000 + i));
            folders.push_back(Directory::create("folder-" + std::to_string(f), kCreated, kModified,
                                                std::move(files)));
        }
        const std::string path = folder / "big.fssnapshot";
        QVERIFY(Snapshot::save(*Directory::create("", kCreated, kModified, std::move(folders)), {},
                               path));
        AppHarness harness;
        // The OpenGL driver is readied while the file is read, before any window needs it.
        int probes = 0;
        GraphViewOptions options = harness.documents().graphViewOptions();
        options.probe = [&probes] {
            ++probes;
            return OpenGLProbeResult{false, "counted"};
        };
        harness.documents().setGraphViewOptions(options);
        harness.documents().open(path);
        QPointer<QProgressDialog> reading;
        QTRY_VERIFY_WITH_TIMEOUT(
            (reading = qobject_cast<QProgressDialog*>(readingDialog())) != nullptr, 10'000);
        QVERIFY2(reading->labelText().startsWith(QStringLiteral("Reading “big.fssnapshot”")),
                 qPrintable(reading->labelText()));
        // The entries read so far come with the bytes.
        QTRY_VERIFY2_WITH_TIMEOUT(!reading ||
                                      reading->labelText().endsWith(QStringLiteral(" entries")),
                                  qPrintable(reading ? reading->labelText() : QString()), 10'000);
        // Once its window is shown, the reading has ended: too late to cancel.
        QVERIFY2(reading, "the reading ended before Cancel could be clicked");
        QCOMPARE(probes, 1);
        savePicture(reading->grab().toImage(), "snapshot-reading");
        auto* cancel = reading->findChild<QPushButton*>();
        QVERIFY(cancel != nullptr);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(harness.documents().pendingOpenings(), 0, 30'000);
        QTest::qWait(100);
        QVERIFY(harness.documents().windows().empty());
        QVERIFY(errorDialog() == nullptr);
        QVERIFY(readingDialog() == nullptr);
    }

    void whatCannotBeOpenedGetsADialogAndNoWindow_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("damaged snapshot") << "damaged"
                                          << "byte";
        QTest::newRow("FIFO") << "fifo"
                              << "neither a folder nor a snapshot";
        QTest::newRow("missing") << "missing"
                                 << "does not exist";
    }
    void whatCannotBeOpenedGetsADialogAndNoWindow() {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        TemporaryDirectory folder;
        std::string path = folder / "target";
        if (kind == "damaged") {
            path = folder / "broken.fssnapshot";
            QFile file(QString::fromStdString(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("{\"rootFile\" : {\"name\" : \"x\", \"contents\" : [");
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
        }
        AppHarness harness;
        harness.documents().open(path);
        QTRY_VERIFY(errorDialog() != nullptr);
        QMessageBox* box = errorDialog();
        QVERIFY2(box->text().contains(expected), qPrintable(box->text()));
        QVERIFY(harness.documents().windows().empty());
        QVERIFY(harness.documents().onlyFailed());
        box->close();
    }
};

const RegisterAppTest<DocumentOpeningTest> registered("DocumentOpeningTest");

} // namespace
} // namespace tessera::testing

#include "DocumentOpeningTest.moc"
