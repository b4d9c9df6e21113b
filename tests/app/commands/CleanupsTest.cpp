// Cleanups from the File menu: a real command runs on the entry under the pointer in a window
// that shows its output, a dangerous one only once confirmed, and the tree follows what it
// changed; the list is edited in its dialog and kept in the settings file.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/cleanups/CleanupOutputWindow.h"
#include "app/cleanups/CleanupsDialog.h"
#include "app/graphview/GraphViewController.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

namespace tessera::testing {
namespace {

// Calls `answer` with the first top-level widget of type `Widget` named `name` once it shows.
template <typename Widget>
void whenShown(const QString& name, std::function<void(Widget&)> answer) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [=, tries = 0]() mutable {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* shown = qobject_cast<Widget*>(widget);
                shown != nullptr && shown->isVisible() && shown->objectName() == name) {
                poll->stop();
                poll->deleteLater();
                answer(*shown);
                return;
            }
        if (++tries == 500) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
}

// File > Cleanups, from the keyboard; the open submenu, or none when it did not open.
QMenu* openCleanupsMenu(DocumentWindow& window) {
    QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
    QMenu* file = menuTitled(window, QStringLiteral("File"));
    if (!QTest::qWaitFor([file] { return file->isVisible(); })) return nullptr;
    QTest::keyClick(file, Qt::Key_N);
    auto* cleanups = window.findChild<QMenu*>(QStringLiteral("cleanupsMenu"));
    if (!QTest::qWaitFor([cleanups] { return cleanups->isVisible(); })) return nullptr;
    return cleanups;
}

CleanupOutputWindow* outputWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<CleanupOutputWindow*>(widget);
            window && window->isVisible())
            return window;
    return nullptr;
}

class CleanupsTest final : public QObject {
    Q_OBJECT

private slots:
    void aCleanupRunsOnTheEntryAndTheTreeFollows() {
        TemporaryDirectory folder;
        writeSampleTree(folder);
        folder.writeFile("junk/old.bak", 3'000);
        folder.writeFile("junk/keep.txt", 1'000);
        AppHarness harness;
        harness.documents().settings().cleanups =
            std::vector<Cleanup>{{"Say", "echo hello %n; printf said > %d/said.txt", false},
                                 defaultCleanups().back(),
                                 {"Slow", "sleep 1; printf late > %d/late.txt", false}};
        DocumentWindow* window = harness.open(folder.path());
        QVERIFY(window != nullptr);
        GraphViewController& view = window->graphViewController();
        const auto root = [window] { return window->fileController()->rootFile(); };

        // File > Cleanups > the cleanup at `row`, on "junk" under the pointer.
        const auto choose = [&](int row) {
            window->activateWindow(); // back from the dialogs
            QVERIFY(QTest::qWaitForWindowActive(window));
            hover(view, pointOf(view, "junk"));
            QVERIFY(waitUntilHighlighted(window->graph()));
            QMenu* cleanups = openCleanupsMenu(*window);
            QVERIFY(cleanups != nullptr);
            savePicture(cleanups->grab().toImage(), "cleanups-menu");
            QTest::keyClick(cleanups, Qt::Key_Home);
            for (int i = 0; i < row; ++i)
                QTest::keyClick(cleanups, Qt::Key_Down);
            QTest::keyClick(cleanups, Qt::Key_Return);
        };

        // A dangerous one asks first: cancelled, nothing happens.
        whenShown<QMessageBox>(QStringLiteral("cleanupConfirmation"), [](QMessageBox& box) {
            savePicture(box.grab().toImage(), "cleanup-confirmation");
            box.button(QMessageBox::Cancel)->click();
        });
        choose(1);
        QTest::qWait(200);
        QVERIFY(outputWindow() == nullptr);
        QVERIFY(std::filesystem::exists(folder / "junk/old.bak"));

        // Confirmed, it runs: its output shows, the junk goes and the tree follows.
        whenShown<QMessageBox>(QStringLiteral("cleanupConfirmation"), [](QMessageBox& box) {
            for (QAbstractButton* button : box.buttons())
                if (box.buttonRole(button) == QMessageBox::DestructiveRole) button->click();
        });
        choose(1);
        QTRY_VERIFY(outputWindow() != nullptr && outputWindow()->hasFinished());
        CleanupOutputWindow* output = outputWindow();
        const QString text = output->output().toPlainText();
        QVERIFY2(text.contains(QStringLiteral("junk/old.bak")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Finished with exit status 0.")), qPrintable(text));
        savePicture(output->grab().toImage(), "cleanup-output");
        output->close();
        QVERIFY(!std::filesystem::exists(folder / "junk/old.bak"));
        QTRY_COMPARE(root()->fileAtPath("junk")->size(), 1'000);

        // A plain one runs at once, in the entry's folder, with its placeholders filled in.
        choose(0);
        QTRY_VERIFY(outputWindow() != nullptr && outputWindow()->hasFinished());
        QVERIFY(outputWindow()->output().toPlainText().contains(QStringLiteral("hello junk")));
        outputWindow()->close();
        QTRY_VERIFY(root()->fileAtPath("said.txt") != nullptr);

        // Its window closed while it runs, the command goes on, and the tree follows it.
        choose(2);
        QTRY_VERIFY(outputWindow() != nullptr);
        QVERIFY(!outputWindow()->hasFinished());
        outputWindow()->close();
        QTRY_VERIFY_WITH_TIMEOUT(root()->fileAtPath("late.txt") != nullptr, 15'000);
        QTRY_VERIFY(window->findChildren<CleanupOutputWindow*>().isEmpty());
    }

    void theListIsEditedInItsDialogAndKept() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        whenShown<CleanupsDialog>(QStringLiteral("cleanupsDialog"), [](CleanupsDialog& dialog) {
            QTableWidget& table = dialog.table();
            QCOMPARE(table.rowCount(), int(defaultCleanups().size()));
            savePicture(dialog.grab().toImage(), "cleanups-dialog");
            // The first row goes, a new one comes.
            table.setCurrentCell(0, 0);
            for (QPushButton* button : dialog.findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("&Remove"))
                    QTest::mouseClick(button, Qt::LeftButton);
            for (QPushButton* button : dialog.findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("&Add"))
                    QTest::mouseClick(button, Qt::LeftButton);
            // Typed into the new row's cells, each editor waited for (a loaded machine opens
            // them late).
            const auto editorIn = [&table](int column) {
                auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
                return table.currentColumn() == column && editor != nullptr ? editor : nullptr;
            };
            QLineEdit* editor = nullptr;
            QTRY_VERIFY((editor = editorIn(0)) != nullptr);
            QTest::keyClicks(editor, QStringLiteral("Sizes"));
            QTest::keyClick(editor, Qt::Key_Tab);
            QTRY_VERIFY((editor = editorIn(1)) != nullptr);
            QTest::keyClicks(editor, QStringLiteral("du -sh %p"));
            QTest::keyClick(editor, Qt::Key_Return);
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        QMenu* cleanups = openCleanupsMenu(*window);
        QVERIFY(cleanups != nullptr);
        QTest::keyClick(cleanups, Qt::Key_E);

        const auto kept = harness.documents().settings().cleanups;
        QVERIFY(kept.has_value());
        QCOMPARE(kept->size(), defaultCleanups().size());
        QCOMPARE(kept->front().title, defaultCleanups()[1].title);
        QCOMPARE(kept->back().title, std::string("Sizes"));
        QCOMPARE(kept->back().command, std::string("du -sh %p"));
        QFile settings(QString::fromStdString(harness.settingsPath()));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("du -sh %p"));
    }
};

const RegisterAppTest<CleanupsTest> registered("CleanupsTest");

} // namespace
} // namespace tessera::testing

#include "CleanupsTest.moc"
