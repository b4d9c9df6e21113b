// View > Count Hard Links Once on a live folder: the chart's total counts a file with two names
// once, the outline marks the other name and says where the file is counted, the choice is kept
// with the favourite (and its settings panel), and switching it off counts every name again.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/commands/CommandSet.h"
#include "app/favorites/FavoriteSettingsPanel.h"
#include "app/outline/OutlineModel.h"
#include "app/outline/OutlineViewController.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "model/Directory.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMenu>
#include <QPalette>
#include <QTest>
#include <QTreeView>
#include <unistd.h>

namespace tessera::testing {
namespace {

class HardLinksOnceTest final : public QObject {
    Q_OBJECT

private slots:
    void aFileWithTwoNamesCountsOnceWhenAsked() {
        TemporaryDirectory folder;
        folder.writeFile("z-big/keep", 40'000);
        folder.writeFile("z-big/pad", 1'000);
        folder.makeDirectory("a-small");
        QCOMPARE(::link((folder / "z-big/keep").c_str(), (folder / "a-small/alias").c_str()), 0);
        AppHarness harness;
        harness.documents().favorites().add(folder.path(), true); // kept, so saved
        DocumentWindow* window = harness.open(folder.path());
        QVERIFY(window != nullptr);
        const auto root = [window] { return window->fileController()->rootFile(); };
        QCOMPARE(root()->size(), 81'000); // each name, as the file system lists them

        // View > Count Hard Links Once, from the keyboard.
        QMenu* viewMenu = menuTitled(*window, QStringLiteral("View"));
        QVERIFY(viewMenu != nullptr);
        QAction* once = window->commands().action(command::toggleCountHardLinksOnce);
        QVERIFY(once != nullptr && viewMenu->actions().contains(once));
        const auto chooseFromMenu = [&] {
            QTest::keyClick(window, Qt::Key_V, Qt::AltModifier);
            QTRY_VERIFY(viewMenu->isVisible());
            QVERIFY(once->isEnabled());
            QTest::keyClick(viewMenu, Qt::Key_I);
            QTRY_VERIFY(!viewMenu->isVisible());
        };
        chooseFromMenu();
        QTRY_COMPARE(root()->size(), 41'000);
        QVERIFY(window->favorite()->countsHardLinksOnce());
        window->commands().refresh();
        QVERIFY(once->isChecked());
        QFile settings(QString::fromStdString(harness.settingsPath()));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("\"countsHardLinksOnce\" : true"));
        settings.close();

        // The outline marks the other name and says where the file is counted.
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(window->isOutlineShown());
        OutlineViewController& outline = window->outlineViewController();
        OutlineModel& model = outline.model();
        QAbstractItemModelTester checker(&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto cell = [&model](const File& file, int column) {
            return model.indexOf(file).siblingAtColumn(column);
        };
        const File* alias = root()->fileAtPath("a-small/alias");
        QVERIFY(alias != nullptr && alias->isCountedElsewhere());
        outline.reveal(*alias);
        const QModelIndex aliasSize = cell(*alias, OutlineModel::size);
        QVERIFY(aliasSize.isValid());
        QCOMPARE(model.data(aliasSize).toString(), QStringLiteral("Hard Link"));
        QCOMPARE(model.data(cell(*alias, OutlineModel::allocatedSize)).toString(),
                 QStringLiteral("Hard Link"));
        QVERIFY(model.data(aliasSize, Qt::FontRole).value<QFont>().italic());
        const QString tip =
            model.data(cell(*alias, OutlineModel::name), Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains(QString::fromStdString(folder / "z-big/keep")), qPrintable(tip));
        const File* keep = root()->fileAtPath("z-big/keep");
        QCOMPARE(model.data(cell(*keep, OutlineModel::size)).toString(), QStringLiteral("40 KB"));
        QVERIFY(waitForNextFrame(window->graph()));
        savePicture(windowPicture(*window), "hard-links-once-outline");
        // The mark follows the palette: read in a dark one too.
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::WindowText, Qt::white);
        QApplication::setPalette(dark);
        QVERIFY(waitForNextFrame(window->graph()));
        savePicture(windowPicture(*window), "hard-links-once-outline-dark");
        QApplication::setPalette(light);

        // Written through the other name: still counted once, at "keep".
        {
            QFile grow(QString::fromStdString(folder / "a-small/alias"));
            QVERIFY(grow.open(QIODevice::Append));
            grow.write(QByteArray(2'000, 'x'));
        }
        QTRY_COMPARE(root()->size(), 43'000);
        QTRY_COMPARE(model.data(cell(*keep, OutlineModel::size)).toString(),
                     QStringLiteral("42 KB"));
        QVERIFY(root()->fileAtPath("a-small/alias")->isCountedElsewhere());

        // Off again: every name counts, and the outline shows the size at both.
        chooseFromMenu();
        QTRY_COMPARE(root()->size(), 85'000);
        QVERIFY(!window->favorite()->countsHardLinksOnce());
        alias = root()->fileAtPath("a-small/alias");
        QTRY_COMPARE(model.data(cell(*alias, OutlineModel::size)).toString(),
                     QStringLiteral("42 KB"));

        // The favourite's settings panel holds the same choice.
        FavoriteSettingsPanel panel(
            *window->favorite(), [] {}, window);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QVERIFY(!panel.linksBox().isChecked());
        QTest::mouseClick(&panel.linksBox(), Qt::LeftButton);
        QVERIFY(panel.linksBox().isChecked());
        savePicture(panel.grab().toImage(), "hard-links-once-settings");
        panel.done(QDialog::Accepted);
        QTRY_COMPARE(root()->size(), 43'000);
        QVERIFY(window->favorite()->countsHardLinksOnce());
    }
};

const RegisterAppTest<HardLinksOnceTest> registered("HardLinksOnceTest");

} // namespace
} // namespace tessera::testing

#include "HardLinksOnceTest.moc"
