// The user defaults as the app reads them from its INI file, and the first start after an
// upgrade: what an older build kept in the user defaults moves into settings.json, retired keys
// go, and What's New is shown to users of builds that lacked its items.
#include "app/defaults/UserDefaults.h"

#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/Build.h"
#include "app/defaults/UserDefaultValue.h"
#include "favorites/Bookmark.h"
#include "model/FileEnums.h"
#include "model/ViewEnums.h"
#include "settings/FavoriteManager.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

namespace tessera::testing {
namespace {

class UserDefaultsTest final : public QObject {
    Q_OBJECT

private slots:
    void valuesOfTheWrongTypeReadAsTheirDefaults() {
        AppHarness harness(false, {{QStringLiteral("completedScans"), QStringLiteral("many")},
                                   {QStringLiteral("goodCount"), 5},
                                   {QStringLiteral("jsonCount"), QStringLiteral("7")},
                                   {QStringLiteral("fraction"), QStringLiteral("7.5")},
                                   {QStringLiteral("disableOpenGL"), true},
                                   {QStringLiteral("sizeMode"), QStringLiteral("huge")}});
        QCOMPARE(UserDefaultValue<int>(QStringLiteral("completedScans"), 0).value(), 0);
        QCOMPARE(UserDefaultValue<int>(QStringLiteral("goodCount"), 0).value(), 5);
        QCOMPARE(UserDefaultValue<int>(QStringLiteral("jsonCount"), 0).value(), 7);
        QCOMPARE(UserDefaultValue<int>(QStringLiteral("fraction"), 1).value(), 1);
        QCOMPARE(UserDefaultValue<double>(QStringLiteral("fraction"), 1).value(), 7.5);
        QCOMPARE(UserDefaultValue<bool>(QStringLiteral("disableOpenGL"), false).value(), true);
        QCOMPARE(UserDefaultValue<bool>(QStringLiteral("goodCount"), false).value(), false);
        QVERIFY(!OptionalUserDefaultValue<int>(QStringLiteral("absent")).value().has_value());
        const UserDefaultEnum<SizeMode> mode(
            QStringLiteral("sizeMode"), SizeMode::fileSize, sizeModeFromRaw,
            [](SizeMode value) { return std::string(rawValue(value)); });
        QCOMPARE(mode.value(), SizeMode::fileSize);

        // Written values read back in a later process (a fresh reading of the file).
        UserDefaultValue<int> scans(QStringLiteral("completedScans"), 0);
        scans.setValue(3);
        userDefaults()->sync();
        QCOMPARE(UserDefaultValue<int>(QStringLiteral("completedScans"), 0).value(), 3);
        // This build was recorded at start.
        QCOMPARE(OptionalUserDefaultValue<int>(QStringLiteral("lastVersion")).value(), kBuild);
        QVERIFY(harness.documents().whatsNew() == nullptr);

        // Each tree a window loads counts as a completed scan.
        TemporaryDirectory folder;
        writeSampleTree(folder);
        QVERIFY(harness.open(folder.path()) != nullptr);
        QCOMPARE(UserDefaultValue<int>(QStringLiteral("completedScans"), 0).value(), 4);
    }

    void anUpgradeMovesTheOldViewSettingsAndFavouritesIntoTheSettingsFile() {
        TemporaryDirectory kept;
        const auto bookmark = Bookmark::make(kept.path());
        QVERIFY(bookmark.has_value());
        const QVariantList favorites{QByteArray::fromStdString(bookmark->bytes())};
        AppHarness harness(false,
                           {{QStringLiteral("lastVersion"), 60},
                            {QStringLiteral("favorites"), favorites},
                            {QStringLiteral("mainWindow"), QByteArray("frame")},
                            {QStringLiteral("completedSyncs"), 4},
                            {QStringLiteral("sortOrder"), 2},
                            {QStringLiteral("graphType"), QStringLiteral("treeMap")},
                            {QStringLiteral("colorMode"), QStringLiteral("modificationDate")},
                            {QStringLiteral("graphLevels"), 12},
                            {QStringLiteral("keepAspectRatioDuringZoom"), false},
                            {QStringLiteral("treeMapLayout"), QStringLiteral("snake")}});
        const Settings& settings = harness.documents().settings();
        QCOMPARE(settings.graphType, GraphType::treeMap);
        QCOMPARE(settings.sizeMode, SizeMode::allocatedFileSize);
        QCOMPARE(settings.colorMode, ColorMode::modificationDate);
        QCOMPARE(settings.graphLevels, 12);
        QCOMPARE(settings.treeMapLayout, TreeMapLayout::snake);
        QVERIFY(!settings.keepAspectRatioDuringZoom);
        QCOMPARE(settings.version, kBuild);
        FavoriteManager& manager = harness.documents().favorites();
        QCOMPARE(manager.count(), std::size_t(1));
        QCOMPARE(manager.at(0)->url(), kept.path());

        const auto defaults = userDefaults();
        for (const char* gone : {"favorites", "mainWindow", "completedSyncs", "sortOrder",
                                 "sizeMode", "graphType", "graphLevels", "treeMapLayout"})
            QVERIFY2(!defaults->contains(QLatin1String(gone)), gone);
        QCOMPARE(defaults->value(QStringLiteral("completedScans")).toInt(), 4);
        QCOMPARE(defaults->value(QStringLiteral("lastVersion")).toInt(), kBuild);

        // Users of builds before 81 see what is new.
        QWidget* whatsNew = harness.documents().whatsNew();
        QVERIFY(whatsNew != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(whatsNew));
        savePicture(whatsNew->grab().toImage(), "whats-new");
    }

    // A window whose saved place no longer fits (a smaller screen since, or a second one gone)
    // opens whole on the screen, as does a new window on a screen smaller than its first size.
    void windowsOpenWholeOnTheScreen() {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QWidget probe;
        probe.setGeometry(available.right() - 100, available.bottom() - 100,
                          available.width() + 400, available.height() + 300);
        const QByteArray tooLarge = probe.saveGeometry();
        AppHarness harness(false, {{QStringLiteral("graphWindow/geometry"), tooLarge}});
        DocumentWindow* window = harness.openSample(AppHarness::Wait::shown);
        QVERIFY(window != nullptr);
        QTRY_VERIFY(window->isVisible());
        const QRect frame = window->frameGeometry();
        QVERIFY2(available.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                                           .arg(frame.x())
                                                           .arg(frame.y())
                                                           .arg(frame.width())
                                                           .arg(frame.height())
                                                           .arg(available.width())
                                                           .arg(available.height())));
    }

    // Each loaded tree counts a scan; from the twentieth on, the review's date is kept as other
    // builds keep it (at most once a year), though no review is asked for here.
    void scansAreCountedAndTheReviewsDateKept() {
        const QString longAgo = QStringLiteral("2020-01-01T00:00:00Z");
        {
            AppHarness harness(false, {{QStringLiteral("completedScans"), 18},
                                       {QStringLiteral("lastReviewAskedDate"), longAgo}});
            QVERIFY(harness.openSample() != nullptr);
            QCOMPARE(UserDefaultValue<int>(QStringLiteral("completedScans"), 0).value(), 19);
            QCOMPARE(userDefaults()->value(QStringLiteral("lastReviewAskedDate")).toString(),
                     longAgo);
        }
        AppHarness harness(false, {{QStringLiteral("completedScans"), 19},
                                   {QStringLiteral("lastReviewAskedDate"), longAgo}});
        QVERIFY(harness.openSample() != nullptr);
        QCOMPARE(UserDefaultValue<int>(QStringLiteral("completedScans"), 0).value(), 20);
        const QDateTime asked = QDateTime::fromString(
            userDefaults()->value(QStringLiteral("lastReviewAskedDate")).toString(), Qt::ISODate);
        QVERIFY(asked.isValid());
        QVERIFY(asked.secsTo(QDateTime::currentDateTimeUtc()) < 600);
    }

    void anUpgradeFromARecentBuildShowsNothingNew() {
        AppHarness harness(
            false, {{QStringLiteral("lastVersion"), 84}, {QStringLiteral("mergeThreshold"), 3.5}});
        QVERIFY(harness.documents().whatsNew() == nullptr);
        QCOMPARE(harness.documents().settings().mergeThreshold, 3.5);
        QVERIFY(!userDefaults()->contains(QStringLiteral("mergeThreshold")));
    }
};

const RegisterAppTest<UserDefaultsTest> registered("UserDefaultsTest");

} // namespace
} // namespace tessera::testing

#include "UserDefaultsTest.moc"
