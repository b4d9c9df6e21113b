#include "app/AppHarness.h"

#include "app/AppTests.h"
#include "app/defaults/UserDefaults.h"
#include "controller/FileController.h"
#include "draw/DrawGraph.h"
#include "model/Directory.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace tessera::testing {

AppHarness::AppHarness(bool software, const std::vector<std::pair<QString, QVariant>>& userDefaults,
                       const std::string& settingsJson) {
    // Each test starts from no saved window state: the user defaults live in its own folder.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(settingsFolder_.path()));
    for (const auto& [key, value] : userDefaults)
        tessera::userDefaults()->setValue(key, value);
    AppOptions options;
    options.settingsPath = settingsFolder_ / "settings.json";
    if (!settingsJson.empty()) {
        QFile file(QString::fromStdString(options.settingsPath));
        if (file.open(QIODevice::WriteOnly)) file.write(QByteArray::fromStdString(settingsJson));
    }
    options.softwareRendering = software;
    documents_ = std::make_unique<Application>(options);
}

AppHarness::~AppHarness() {
    for (DocumentWindow* window : documents_->windows())
        window->close();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    documents_.reset();
}

std::vector<std::pair<const char*, AppTestFactory>>& appTests() {
    static std::vector<std::pair<const char*, AppTestFactory>> tests;
    return tests;
}

DocumentWindow* AppHarness::open(const std::string& path, Wait wait) {
    const std::vector<DocumentWindow*> before = documents_->windows();
    documents_->open(path);
    DocumentWindow* window = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            for (DocumentWindow* candidate : documents_->windows())
                if (std::find(before.begin(), before.end(), candidate) == before.end())
                    window = candidate;
            return window != nullptr;
        },
        10'000);
    if (window == nullptr || !QTest::qWaitForWindowExposed(window)) return nullptr;
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) return nullptr;
    if (wait == Wait::atRest && !waitUntilAtRest(window->graph())) return nullptr;
    return window;
}

DocumentWindow* AppHarness::openSample(Wait wait) {
    writeSampleTree(sampleFolder_);
    return open(sampleFolder_.path(), wait);
}

bool waitUntilAtRest(Graph& graph) {
    return QTest::qWaitFor(
        [&graph] {
            // The picture of a scan still running is no tree at rest.
            const FileController* controller = graph.fileController();
            return graph.file() != nullptr && !graph.isLoading() && !graph.fileTransitionType() &&
                   graph.restingAlpha() >= 1 &&
                   (controller == nullptr || !controller->showsScanPreview());
        },
        5'000);
}

bool waitForNextFrame(Graph& graph) {
    const std::uint64_t drawn = graph.framesDrawn();
    graph.setNeedsDisplay();
    return QTest::qWaitFor([&graph, drawn] { return graph.framesDrawn() > drawn; }, 5'000);
}

bool waitUntilHighlighted(Graph& graph) {
    return QTest::qWaitFor(
        [&graph] { return graph.activeFile() != nullptr && graph.activeFileAlpha() >= 1.0; },
        5'000);
}

QPoint widgetPoint(GraphViewController& controller, double x, double y) {
    const QWidget* view = controller.view();
    return {static_cast<int>(std::lround(view->width() / 2.0 + x)),
            static_cast<int>(std::lround(view->height() / 2.0 - y))};
}

namespace {

// The root of the tree the graph shows (in a comparison, the tree it stands on).
Directory& shownTree(const Graph& graph) {
    File* top = graph.file() != nullptr ? graph.file() : graph.fileController()->rootFile();
    while (top->parent() != nullptr)
        top = top->parent();
    return *top->asDirectory();
}

} // namespace

QPoint pointOf(GraphViewController& controller, const std::string& relativePath) {
    Graph& graph = controller.graph();
    File* file = shownTree(graph).fileAtPath(relativePath);
    if (file == nullptr || graph.fileDraw() == nullptr) return {-1, -1};
    const auto centre = graph.fileDraw()->center(*file);
    if (!centre) return {-1, -1};
    return widgetPoint(controller, centre->x, centre->y);
}

QPoint fillPointOf(GraphViewController& controller, const std::string& relativePath) {
    Graph& graph = controller.graph();
    File* file = shownTree(graph).fileAtPath(relativePath);
    if (file == nullptr || graph.fileDraw() == nullptr) return {-1, -1};
    auto centre = graph.fileDraw()->center(*file);
    if (!centre) return {-1, -1};
    for (const NameLabel& name : graph.chartNames())
        if (name.frame.x <= centre->x && centre->x <= name.frame.maxX() &&
            name.frame.y <= centre->y && centre->y <= name.frame.maxY())
            centre->y = name.frame.y - 4;
    return widgetPoint(controller, centre->x, centre->y);
}

QMenu* menuTitled(QMainWindow& window, const QString& title) {
    for (QAction* action : window.menuBar()->actions())
        if (action->text().remove(QLatin1Char('&')) == title) return action->menu();
    return nullptr;
}

void hover(GraphViewController& controller, QPoint point) {
    // Through the window, as the window system delivers moves: moving the X pointer instead
    // races with the window's own moves and resizes.
    QWidget* window = controller.view()->window();
    QTest::mouseMove(window->windowHandle(), controller.view()->mapTo(window, QPoint(1, 1)));
    QTest::mouseMove(window->windowHandle(), controller.view()->mapTo(window, point));
}

QImage windowPicture(DocumentWindow& window) {
    return windowPicture(window, window.graphViewController());
}

QImage windowPicture(QWidget& window, GraphViewController& controller) {
    QImage picture = window.grab().toImage();
    QPainter painter(&picture);
    const QPoint at = controller.view()->mapTo(&window, QPoint(0, 0));
    const QImage frame = controller.surface().grabFrame();
    painter.drawImage(QRect(at, controller.view()->size()), frame);
    return picture;
}

QPalette darkPalette(const QPalette& light) {
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, Qt::white);
    return dark;
}

void savePicture(const QImage& image, const std::string& name) {
    const QByteArray folder = qgetenv("TESSERA_TEST_PICTURES");
    if (folder.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(folder));
    image.save(QString::fromLocal8Bit(folder) + QStringLiteral("/") + QString::fromStdString(name) +
               QStringLiteral(".png"));
}

void answerSaveDialog(const std::string& path, std::function<void(QFileDialog&)> choose,
                      bool& answered) {
    // Looks for the dialog until it is open (a menu may come first), for at most ten seconds.
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [=, &answered, tries = 0]() mutable {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr && ++tries < 500) return;
        poll->deleteLater();
        poll->stop();
        QVERIFY(dialog != nullptr);
        // Whatever fails below, the dialog is not left open for the test to wait on.
        const auto closeOnExit = qScopeGuard([dialog] {
            if (dialog->isVisible()) dialog->reject();
        });
        choose(*dialog);
        savePicture(dialog->grab().toImage(), dialog->objectName().toStdString());
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name != nullptr);
        name->setFocus();
        name->selectAll();
        const QString typed = QString::fromStdString(path).section(QLatin1Char('/'), -1);
        QTest::keyClicks(name, typed);
        // The name's completer may offer a file already there (a slow machine shows its list
        // while the name is typed): it goes, and the name stays as typed, so that no question
        // about replacing that file comes up.
        if (QCompleter* completer = name->completer(); completer && completer->popup())
            completer->popup()->hide();
        name->setText(typed);
        answered = true;
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(buttons != nullptr);
        QPushButton* save = buttons->button(QDialogButtonBox::Save);
        QVERIFY(save != nullptr);
        QTRY_VERIFY(save->isEnabled());
        QTest::mouseClick(save, Qt::LeftButton);
    });
    poll->start();
}

void writeSampleTree(const TemporaryDirectory& folder) {
    folder.writeFile("docs/a", 40'000);
    folder.writeFile("docs/b", 20'000);
    folder.writeFile("music/c", 30'000);
    folder.writeFile("music/deep/d", 10'000);
    folder.writeFile("e", 5'000);
}

} // namespace tessera::testing
