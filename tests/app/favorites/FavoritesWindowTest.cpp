// The favourites window as users meet it: the home folder offered on a first start, folders
// dropped from a file manager, rows reordered by dragging and kept so, Return opening a row in
// a window that shares its favourite, an exclusion filter set in the settings panel leaving its
// matches out of the next scan, and a volume's row greying out when it is unmounted.
#include "app/favorites/FavoritesWindow.h"

#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "app/favorites/FavoriteSettingsPanel.h"
#include "app/favorites/FavoritesModel.h"
#include "app/widgets/FilePredicateEditor.h"
#include "controller/FileController.h"
#include "logs/LogController.h"
#include "model/Directory.h"
#include "platform/Files.h"
#include "settings/FavoriteManager.h"
#include "settings/Settings.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <sys/mount.h>

namespace tessera::testing {
namespace {

QStringList rowNames(const FavoritesWindow& window) {
    QStringList names;
    for (int row = 0; row < window.model().rowCount(); ++row)
        names << window.model().index(row).data().toString();
    return names;
}

// Delivers a drop onto the list at `row`'s top edge (or below the last row), as a drag from
// another application or from the list itself arrives.
void dropOnList(FavoritesWindow& window, QMimeData& data, int row) {
    QListView& list = window.list();
    QPoint at;
    if (row < window.model().rowCount()) {
        at = list.visualRect(window.model().index(row)).topLeft() + QPoint(20, 1);
    } else {
        const QRect last = list.visualRect(window.model().index(window.model().rowCount() - 1));
        at = QPoint(20, last.bottom() + 8);
    }
    QWidget* viewport = list.viewport();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
}

void dropFolders(FavoritesWindow& window, const std::vector<std::string>& folders) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& folder : folders)
        urls << QUrl::fromLocalFile(QString::fromStdString(folder));
    data.setUrls(urls);
    dropOnList(window, data, window.model().rowCount());
}

class FavoritesWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void foldersDroppedAndReorderedStayInTheirOrder() {
        TemporaryDirectory places;
        const std::string music = places.makeDirectory("Music");
        const std::string photos = places.makeDirectory("Photos");
        const std::string work = places.makeDirectory("Work");
        QVERIFY(platform::writeFileAtomically(places / "not-a-folder", "x").has_value());
        AppHarness harness;
        FavoritesWindow& window = harness.documents().showFavorites();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // A first start offers the home folder.
        QVERIFY(rowNames(window).contains(QDir(QDir::homePath()).dirName()) ||
                QDir::homePath() == QStringLiteral("/"));
        const int offered = window.model().rowCount();
        // Each change of the list reaches the view as the rows it touched, never as a reset that
        // would lose the selection and the scroll position.
        QAbstractItemModelTester tester(&window.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&window.model(), &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&window.model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&window.model(), &QAbstractItemModel::rowsRemoved);

        dropFolders(window, {music, photos, places / "not-a-folder", work});
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(window.model().rowCount(), offered + 3);
        QCOMPARE(rowNames(window).mid(offered),
                 (QStringList{QStringLiteral("Music"), QStringLiteral("Photos"),
                              QStringLiteral("Work")}));

        // Drag Work above Music.
        const QModelIndex workRow = window.model().index(offered + 2);
        window.list().setCurrentIndex(workRow);
        std::unique_ptr<QMimeData> dragged(window.model().mimeData({workRow}));
        dropOnList(window, *dragged, offered);
        QCOMPARE(rowNames(window).mid(offered),
                 (QStringList{QStringLiteral("Work"), QStringLiteral("Music"),
                              QStringLiteral("Photos")}));
        QCOMPARE(window.list().currentIndex().row(), offered);
        savePicture(window.grab().toImage(), "favorites-window");

        // Dragged downward, below Photos, Work stays the selected row.
        std::unique_ptr<QMimeData> down(window.model().mimeData({window.model().index(offered)}));
        dropOnList(window, *down, offered + 3);
        QCOMPARE(rowNames(window).mid(offered),
                 (QStringList{QStringLiteral("Music"), QStringLiteral("Photos"),
                              QStringLiteral("Work")}));
        QCOMPARE(window.list().currentIndex().row(), offered + 2);
        QVERIFY(window.list().selectionModel()->isRowSelected(offered + 2, {}));
        // The selected row's highlight spans the whole row, its icon included, in a style that
        // highlights only an item's text unless told otherwise too.
        for (const QString& styleName : {QStringLiteral("Fusion"), QStringLiteral("Windows")}) {
            std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
            QVERIFY(style != nullptr);
            window.list().setStyle(style.get());
            const QRect row = window.list().visualRect(window.model().index(offered + 2));
            const QImage list = window.list().viewport()->grab().toImage();
            const QPoint middle(0, row.center().y());
            const QColor underIcon =
                list.pixelColor((middle + QPoint(row.left() + 3, 0)) * list.devicePixelRatio());
            const QColor besideText =
                list.pixelColor((middle + QPoint(row.right() - 3, 0)) * list.devicePixelRatio());
            // (Fusion shades its highlight a little from left to right.)
            const bool alike = std::abs(underIcon.red() - besideText.red()) <= 8 &&
                               std::abs(underIcon.green() - besideText.green()) <= 8 &&
                               std::abs(underIcon.blue() - besideText.blue()) <= 8;
            QVERIFY2(alike, qPrintable(styleName + QStringLiteral(": ") + underIcon.name() +
                                       QStringLiteral(" under the icon, ") + besideText.name() +
                                       QStringLiteral(" beside the text")));
            window.list().setStyle(nullptr);
        }
        // Dropped onto its own place, nothing moves.
        QSignalSpy moved(&window.model(), &QAbstractItemModel::rowsMoved);
        std::unique_ptr<QMimeData> same(window.model().mimeData({window.model().index(offered)}));
        dropOnList(window, *same, offered);
        QCOMPARE(moved.count(), 0);
        QCOMPARE(rowNames(window).mid(offered),
                 (QStringList{QStringLiteral("Music"), QStringLiteral("Photos"),
                              QStringLiteral("Work")}));
        // Back as it was for what follows: Work, Music, Photos.
        std::unique_ptr<QMimeData> back(
            window.model().mimeData({window.model().index(offered + 2)}));
        dropOnList(window, *back, offered);

        // Removing Music with the "−" button: its row goes, the others stay selected as they were.
        window.list().setCurrentIndex(window.model().index(offered + 1));
        window.commands().action(command::removeFavorite)->trigger();
        QCOMPARE(removed.count(), 1);
        QCOMPARE(rowNames(window).mid(offered),
                 (QStringList{QStringLiteral("Work"), QStringLiteral("Photos")}));
        QCOMPARE(resets.count(), 0);
        harness.documents().favorites().add(music, true);

        // The order survives a restart.
        FavoriteManager later(harness.settingsPath(), 1);
        later.load();
        QCOMPARE(later.count(), std::size_t(offered + 3));
        QCOMPARE(later.at(offered)->url(), work);
        QCOMPARE(later.at(offered + 1)->url(), photos);
        QCOMPARE(later.at(offered + 2)->url(), music);
    }

    void returnOpensTheRowInAWindowThatSharesItsFavourite() {
        TemporaryDirectory folder;
        writeSampleTree(folder);
        AppHarness harness;
        FavoritesWindow& window = harness.documents().showFavorites();
        dropFolders(window, {folder.path()});
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const int row = window.model().rowCount() - 1;
        window.list().setFocus();
        window.list().setCurrentIndex(window.model().index(row));
        QTest::keyClick(&window.list(), Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return !harness.documents().windows().empty(); }, 5000));
        DocumentWindow* document = harness.documents().windows().back();
        QCOMPARE(document->favorite(), window.model().favoriteAt(window.model().index(row)).get());
        QVERIFY(waitUntilAtRest(document->graph()));
        // The row shows the scanned folder's size once the scan is in.
        QCOMPARE(window.model().index(row).data(FavoritesModel::TotalRole).toLongLong(), 105'000);

        // Opening it again brings that window forward rather than a second one.
        // Opening is synchronous: a second window would be there once the key is handled.
        QTest::keyClick(&window.list(), Qt::Key_Return);
        QCOMPARE(harness.documents().windows().size(), std::size_t(1));

        // A folder opened from elsewhere (File > Open Folder, the command line) joins the list
        // as its selected row; one already there leaves the selection alone.
        TemporaryDirectory other;
        other.writeFile("file", 10);
        window.list().setCurrentIndex(window.model().index(0));
        harness.documents().open(other.path());
        const int added = window.model().rowCount() - 1;
        QCOMPARE(window.model().favoriteAt(window.model().index(added))->url(), other.path());
        QCOMPARE(window.list().currentIndex().row(), added);
        QVERIFY(window.list().selectionModel()->isRowSelected(added, {}));
        window.list().setCurrentIndex(window.model().index(0));
        harness.documents().open(folder.path());
        QCOMPARE(window.list().currentIndex().row(), 0);
    }

    void anExclusionFilterLeavesItsMatchesOutOfTheNextScan() {
        TemporaryDirectory folder;
        writeSampleTree(folder); // docs 60 KB, music 40 KB, e 5 KB
        AppHarness harness;
        FavoritesWindow& window = harness.documents().showFavorites();
        dropFolders(window, {folder.path()});
        const int row = window.model().rowCount() - 1;
        window.list().setCurrentIndex(window.model().index(row));
        QTest::keyClick(&window.list(), Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return !harness.documents().windows().empty(); }, 5000));
        DocumentWindow* document = harness.documents().windows().back();
        QVERIFY(waitUntilAtRest(document->graph()));

        bool asked = false;
        QTimer::singleShot(0, this, [&] {
            auto* panel = window.findChild<FavoriteSettingsPanel*>();
            if (panel == nullptr) QFAIL("no settings panel");
            // Ticking the box starts from the default row: path contains "".
            QTest::mouseClick(&panel->filterBox(), Qt::LeftButton, {},
                              QPoint(8, panel->filterBox().height() / 2));
            // The new row's widgets show at the next turn of the loop.
            QLineEdit* value = nullptr;
            (void)QTest::qWaitFor([&] {
                for (QLineEdit* edit : panel->editor().findChildren<QLineEdit*>())
                    if (edit->isVisible()) value = edit;
                return value != nullptr;
            });
            if (value == nullptr) {
                panel->reject();
                QFAIL("no value field in the default row");
            }
            QTest::keyClicks(value, QStringLiteral("/music"));
            savePicture(panel->grab().toImage(), "favorite-settings");
            // Closing asks whether to scan again now.
            QTimer::singleShot(0, this, [&] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    auto* box = qobject_cast<QMessageBox*>(widget);
                    if (box == nullptr || !box->isVisible()) continue;
                    asked = true;
                    for (QAbstractButton* button : box->buttons())
                        if (box->buttonRole(button) == QMessageBox::AcceptRole) button->click();
                }
            });
            panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
        });
        window.showSettings();
        QVERIFY(asked);
        // The window shows the new scan's tree once it is in.
        QVERIFY(QTest::qWaitFor(
            [&] {
                const Directory* root = document->fileController()->rootFile();
                return root != nullptr && root->size() == 65'000;
            },
            5000));
        QVERIFY(waitUntilAtRest(document->graph()));

        // Kept in the settings file with its favourite.
        FavoriteManager later(harness.settingsPath(), 1);
        later.load();
        const auto& kept = later.at(later.count() - 1);
        QVERIFY(kept->isFilterPredicateEnabled());
        QVERIFY(kept->activeExclusion()->evaluatePath(folder / "music"));
        QVERIFY(!kept->activeExclusion()->evaluatePath(folder / "docs"));
    }

    // A favourite whose exclusion filter cannot be read keeps its place without the filter; the
    // others stay, and the user hears of it once in a dialog and in the Logs window.
    void aFavouriteWithAnUnreadableFilterKeepsItsPlaceAndTheUserIsTold() {
        TemporaryDirectory places;
        Settings stored;
        stored.version = 86;
        stored.graphLevels = 11;
        for (const char* name : {"photos", "music"}) {
            const Favorite favorite(places.makeDirectory(name), true);
            stored.favorites.push_back(favorite.stored());
        }
        stored.favorites[0].filterPredicate = "path matches \"[broken\"";
        stored.favorites[0].isFilterPredicateEnabled = true;
        const std::size_t logged = LogController::shared().logs().size();
        AppHarness harness(false, {}, stored.encode());
        QMessageBox* notice = nullptr;
        QTRY_VERIFY((notice = qobject_cast<QMessageBox*>([] {
                         for (QWidget* widget : QApplication::topLevelWidgets())
                             if (widget->objectName() == QStringLiteral("settingsNotice"))
                                 return widget;
                         return static_cast<QWidget*>(nullptr);
                     }())) != nullptr);
        QVERIFY2(notice->text().contains(QStringLiteral("[broken")), qPrintable(notice->text()));
        QVERIFY(notice->text().contains(QStringLiteral("settings.json.corrupt")));
        savePicture(notice->grab().toImage(), "settings-repaired");
        notice->accept();

        FavoritesWindow& window = harness.documents().showFavorites();
        QStringList names;
        for (int row = 0; row < window.model().rowCount(); ++row)
            names << window.model().index(row).data().toString();
        QCOMPARE(names, (QStringList{"photos", "music"}));
        FavoriteManager& manager = harness.documents().favorites();
        QVERIFY(!manager.at(0)->isFilterPredicateEnabled());
        QCOMPARE(harness.documents().settings().graphLevels, 11);
        const auto& logs = LogController::shared().logs();
        QVERIFY(logs.size() > logged);
        QVERIFY(logs.back().title().formatted().starts_with("Settings left out of"));
    }

    void anUnmountedVolumesRowGreysOutAndComesBack() {
        TemporaryDirectory folder;
        const std::string point = folder.makeDirectory("Stick");
        if (mount("tessera-stick", point.c_str(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("mounting a tmpfs is refused here; volume events are not exercised");
        AppHarness harness;
        FavoritesWindow& window = harness.documents().showFavorites();
        dropFolders(window, {point});
        const QModelIndex row = window.model().index(window.model().rowCount() - 1);
        QVERIFY(row.data(FavoritesModel::IsVolumeRole).toBool());
        QVERIFY(row.data(FavoritesModel::TotalRole).toLongLong() > 0);
        QCOMPARE(umount(point.c_str()), 0);
        QVERIFY(QTest::qWaitFor([&] { return !row.data(FavoritesModel::AvailableRole).toBool(); },
                                30'000));
        QCOMPARE(row.data().toString(), QStringLiteral("\u201cStick\u201d (not available)"));
        savePicture(window.grab().toImage(), "favorites-unavailable");
        QCOMPARE(mount("tessera-stick", point.c_str(), "tmpfs", 0, "size=256k"), 0);
        QVERIFY(QTest::qWaitFor([&] { return row.data(FavoritesModel::AvailableRole).toBool(); },
                                30'000));
        QCOMPARE(row.data().toString(), QStringLiteral("Stick"));
        umount(point.c_str());
    }
};

const RegisterAppTest<FavoritesWindowTest> registered("FavoritesWindowTest");

} // namespace
} // namespace tessera::testing

#include "FavoritesWindowTest.moc"
