// What the app's tests share: the application object with its settings in a temporary folder,
// opening real folders in real windows, waiting until the graph stands still, and saving the
// pictures the tests look at (into $TESSERA_TEST_PICTURES when it is set).
#pragma once

#include "app/Application.h"
#include "app/document/DocumentWindow.h"
#include "app/graphview/GraphViewController.h"
#include "graph/Graph.h"
#include "support/TemporaryDirectory.h"

#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QPalette>
#include <QPoint>
#include <QVariant>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QFileDialog;

namespace tessera::testing {

class AppHarness {
public:
    /// `userDefaults` are set before the app starts (each harness has user defaults of its own).
    /// `settingsJson`, when given, is the settings file the app finds.
    explicit AppHarness(bool software = false,
                        const std::vector<std::pair<QString, QVariant>>& userDefaults = {},
                        const std::string& settingsJson = {});
    ~AppHarness();

    Application& documents() { return *documents_; }
    std::string settingsPath() const { return settingsFolder_ / "settings.json"; }
    enum class Wait { atRest, shown };
    /// Opens `path` and waits until its window is active and shows the tree at rest (or only
    /// until it is shown); null after 10 s.
    DocumentWindow* open(const std::string& path, Wait wait = Wait::atRest);
    /// Writes the sample tree (writeSampleTree) into a folder of the harness's own and opens it
    /// as open() does.
    DocumentWindow* openSample(Wait wait = Wait::atRest);
    /// The folder openSample() wrote.
    const TemporaryDirectory& sampleFolder() const { return sampleFolder_; }

private:
    TemporaryDirectory settingsFolder_;
    TemporaryDirectory sampleFolder_;
    std::unique_ptr<Application> documents_;
};

/// Waits until the graph shows a tree with no transition running and its names faded in (at
/// most 5 s).
bool waitUntilAtRest(Graph& graph);
/// Waits until the graph has drawn a frame after this call (at most 5 s).
bool waitForNextFrame(Graph& graph);
/// Waits until the graph highlights a file under the pointer, fully faded in (at most 5 s).
bool waitUntilHighlighted(Graph& graph);
/// Where a point of the graph (origin at the centre, y up) lies in the view widget.
QPoint widgetPoint(GraphViewController& controller, double x, double y);
/// The centre of `path`'s picture in the view widget (a file shown by the graph).
QPoint pointOf(GraphViewController& controller, const std::string& relativePath);
/// A point of `path`'s picture where its own colour shows: its centre, or just below the name
/// written there.
QPoint fillPointOf(GraphViewController& controller, const std::string& relativePath);
/// Moves the pointer onto `point` of the view (from elsewhere, so that the view sees a move).
void hover(GraphViewController& controller, QPoint point);
/// The window as the screen shows it, the graph's own window included.
QImage windowPicture(QWidget& window, GraphViewController& controller);
QImage windowPicture(DocumentWindow& window);
/// The menu of the window's menu bar whose title (without its mnemonic's mark) is `title`.
QMenu* menuTitled(QMainWindow& window, const QString& title);
/// `light` with a dark window and white text: the desktop's dark appearance, as the app reads it.
QPalette darkPalette(const QPalette& light);
/// Saves a picture under $TESSERA_TEST_PICTURES/name.png when that is set.
void savePicture(const QImage& image, const std::string& name);
/// Answers the save dialog that is about to open (in the folder the file is to go to): `choose`
/// sets its form, then the file's name (the last part of `path`) is typed and Save clicked.
/// `answered` turns true once the name is typed.
void answerSaveDialog(const std::string& path, std::function<void(QFileDialog&)> choose,
                      bool& answered);

/// A small real tree: docs (a 40 KB, b 20 KB), music (c 30 KB, deep/d 10 KB), e 5 KB.
void writeSampleTree(const TemporaryDirectory& folder);

} // namespace tessera::testing
