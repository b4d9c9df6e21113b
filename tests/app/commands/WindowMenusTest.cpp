// The Window and Help menus of a document window and the file commands that hand over to the
// desktop (a terminal), reached as a user does: keys and menu items.
#include "app/AppHarness.h"
#include "app/AppTests.h"
#include "app/Build.h"
#include "app/commands/CommandIds.h"
#include "app/commands/CommandSet.h"
#include "app/favorites/FavoritesWindow.h"
#include "app/widgets/PathBar.h"
#include "controller/FileController.h"
#include "model/Directory.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace tessera::testing {
namespace {

// Stands in for the desktop's browser: records what would be opened.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

QStringList menuTexts(QMainWindow& window, const QString& title) {
    QStringList texts;
    for (QAction* menu : window.menuBar()->actions())
        if (menu->text() == title)
            for (QAction* item : menu->menu()->actions())
                texts.push_back(item->isSeparator() ? QStringLiteral("-") : item->text());
    return texts;
}

class WindowMenusTest final : public QObject {
    Q_OBJECT

private slots:
    void theWindowAndHelpMenusHoldWhatADesktopAppOffers() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        QCOMPARE(
            menuTexts(*window, QStringLiteral("&Window")),
            QStringList({QStringLiteral("&Minimise"), QStringLiteral("&Zoom"), QStringLiteral("-"),
                         QStringLiteral("&Bring All to Front"), QStringLiteral("-"),
                         QStringLiteral("Favourites"), QStringLiteral("&Logs")}));
        QCOMPARE(menuTexts(*window, QStringLiteral("&Help")),
                 QStringList({QStringLiteral("&What’s New"), QStringLiteral("Tessera &Website"),
                              QStringLiteral("-"), QStringLiteral("&About Tessera")}));
    }

    void f11TogglesFullScreenAndZoomMaximises() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(window->commands().action(command::toggleFullScreen)->shortcut(),
                 QKeySequence(Qt::Key_F11));
        QTest::keyClick(window, Qt::Key_F11);
        QTRY_VERIFY(window->isFullScreen());
        QTest::keyClick(window, Qt::Key_F11);
        QTRY_VERIFY(!window->isFullScreen());
        window->commands().action(command::zoom)->trigger();
        QTRY_VERIFY(window->isMaximized());
        window->commands().action(command::zoom)->trigger();
        QTRY_VERIFY(!window->isMaximized());
    }

    void whatsNewAndTheWebsiteAreAlwaysThere() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        window->commands().action(command::whatsNew)->trigger();
        QWidget* whatsNew = harness.documents().whatsNew();
        QVERIFY(whatsNew != nullptr);
        QTRY_VERIFY(whatsNew->isVisible());
        whatsNew->close();
        // Asked again, the same dialog comes back.
        window->commands().action(command::whatsNew)->trigger();
        QTRY_VERIFY(whatsNew->isVisible());
        QCOMPARE(harness.documents().whatsNew(), whatsNew);
        whatsNew->close();

        UrlRecorder browser;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
        window->commands().action(command::website)->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(browser.opened, QList<QUrl>({QUrl(QString::fromUtf8(kHomePage))}));
        // The AppStream metainfo names the same home page.
        QFile metainfo(
            QStringLiteral(TESSERA_SOURCE_DIR "/data/org.vantorel.Tessera.metainfo.xml"));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QVERIFY(metainfo.readAll().contains(QByteArray("<url type=\"homepage\">") + kHomePage +
                                            "</url>"));
    }

    // Deep down, the path gives way to an ellipsis from its root on; the search field stays in
    // the toolbar, and the folders above are a click away.
    void aDeepPathLeavesTheSearchFieldInTheToolbar() {
        TemporaryDirectory folder;
        std::string relative;
        for (int level = 1; level <= 25; ++level)
            relative += "level " + std::to_string(level) + "/";
        folder.writeFile(relative + "file", 1000);
        AppHarness harness;
        DocumentWindow* window = harness.open(folder.path());
        QVERIFY(window != nullptr);
        window->resize(900, 700);
        File* deepest = window->fileController()->rootFile()->fileAtPath(
            relative.substr(0, relative.size() - 1));
        QVERIFY(deepest != nullptr);
        window->graph().setFile(*deepest);
        QVERIFY(waitUntilAtRest(window->graph()));
        auto* path = window->findChild<PathBar*>();
        QVERIFY(path != nullptr);
        QTRY_VERIFY(path->shownComponentCount() > 0 && path->shownComponentCount() < 26);
        QLineEdit& field = window->searchField();
        QTRY_VERIFY(field.isVisible());
        auto* toolBar = window->findChild<QToolBar*>(QStringLiteral("navigation"));
        QVERIFY(toolBar->rect().contains(field.geometry()));
        QVERIFY(path->geometry().right() <= field.geometry().left());
        savePicture(window->grab().toImage(), "window-deep-path");
        // The folders above, from the ellipsis's menu.
        auto* more = path->findChild<QToolButton*>();
        QVERIFY(more != nullptr && more->isVisible() && more->menu() != nullptr);
        QCOMPARE(more->menu()->actions().size(), 26 - path->shownComponentCount());
        more->menu()->actions().front()->trigger();
        QVERIFY(waitUntilAtRest(window->graph()));
        QCOMPARE(window->graph().file(), window->fileController()->rootFile());
    }

    // Edit > Select All, Copy, Cut and Paste act on the focused field.
    void theEditMenuActsOnTheFocusedField() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        QLineEdit& field = window->searchField();
        field.setFocus();
        QTRY_VERIFY(field.hasFocus());
        QTest::keyClicks(&field, QStringLiteral("music"));
        CommandSet& commands = window->commands();
        commands.refresh();
        commands.action(command::selectAll)->trigger();
        QCOMPARE(field.selectedText(), QStringLiteral("music"));
        commands.refresh();
        QVERIFY(commands.action(command::copy)->isEnabled());
        commands.action(command::copy)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("music"));
        commands.action(command::cut)->trigger();
        QCOMPARE(field.text(), QString());
        commands.refresh();
        QVERIFY(commands.action(command::paste)->isEnabled());
        commands.action(command::paste)->trigger();
        QCOMPARE(field.text(), QStringLiteral("music"));
    }

    void openTerminalHereStartsTheTerminalInTheEntrysFolder() {
        // Stands in for the desktop's terminal: writes down the folder it was started in.
        TemporaryDirectory tools;
        const std::string record = tools / "started-in";
        const std::string terminal = tools.writeFile("terminal", 0);
        {
            QFile script(QString::fromStdString(terminal));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(("#!/bin/sh\npwd > '" + record + "'\n").c_str());
        }
        QFile::setPermissions(QString::fromStdString(terminal),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray previous = qgetenv("TERMINAL");
        qputenv("TERMINAL", QByteArray::fromStdString(terminal));
        const auto startedIn = [&record]() -> QString {
            QFile file(QString::fromStdString(record));
            if (!file.open(QIODevice::ReadOnly)) return {};
            return QString::fromUtf8(file.readAll()).trimmed();
        };

        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        const std::string sample = harness.sampleFolder().path();
        GraphViewController& view = window->graphViewController();
        QAction* open = window->commands().action(command::openTerminal);
        QVERIFY(open != nullptr);
        // A folder under the pointer: its own folder; a file: the folder that holds it.
        for (const auto& [entry, folder] : {std::pair{"music", sample + "/music"}, {"e", sample}}) {
            QFile::remove(QString::fromStdString(record));
            hover(view, pointOf(view, entry));
            QVERIFY(waitUntilHighlighted(window->graph()));
            window->commands().refresh();
            QVERIFY(open->isEnabled());
            open->trigger();
            QTRY_COMPARE(startedIn(), QString::fromStdString(folder));
        }
        qputenv("TERMINAL", previous);
        if (previous.isEmpty()) qunsetenv("TERMINAL");
        // The File menu with the command in it, to look at.
        QMenu* menu = menuTitled(*window, QStringLiteral("File"));
        QVERIFY(menu != nullptr);
        QVERIFY(menu->actions().contains(open));
        menu->popup(window->mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        savePicture(menu->grab().toImage(), "file-menu");
        menu->close();
    }

    void bringAllToFrontRaisesTheAppsWindows() {
        AppHarness harness;
        DocumentWindow* window = harness.openSample();
        QVERIFY(window != nullptr);
        FavoritesWindow& favorites = harness.documents().showFavorites();
        QVERIFY(QTest::qWaitForWindowExposed(&favorites));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->commands().action(command::bringAllToFront)->trigger();
        QVERIFY(favorites.isVisible());
        QTRY_VERIFY(window->isActiveWindow()); // the window it came from keeps the focus
    }
};

const RegisterAppTest<WindowMenusTest> registered("WindowMenusTest");

} // namespace
} // namespace tessera::testing

#include "WindowMenusTest.moc"
