// The application controller: it holds what the windows share (the settings, the text
// facilities, the choice of graph back end), opens locations as document windows, and reports
// what cannot be opened. Main thread.
#pragma once

#include "app/graphview/GraphViewController.h"
#include "base/Date.h"
#include "render/QtLabelTypesetter.h"
#include "settings/FavoriteManager.h"
#include "settings/Settings.h"

#include <QObject>
#include <QPointer>
#include <string>
#include <vector>

class QWidget;

namespace tessera {

class DocumentWindow;
class FavoritesWindow;
class SequenceWindow;

struct AppOptions {
    /// --software-rendering (the user default "disableOpenGL" is read as well).
    bool softwareRendering = false;
    /// Where settings.json lives (tests use a temporary folder).
    std::string settingsPath;
};

class Application final : public QObject {
    Q_OBJECT

public:
    explicit Application(AppOptions options);
    ~Application() override;

    Settings& settings() { return favorites_.settings(); }
    void saveSettings() { favorites_.save(); }
    /// The favourites, and every location opened in a window.
    FavoriteManager& favorites() { return favorites_; }
    const LabelTypesetter& typesetter() const { return typesetter_; }
    GraphViewOptions graphViewOptions() const { return graphViewOptions_; }
    void setGraphViewOptions(GraphViewOptions options) { graphViewOptions_ = std::move(options); }

    /// Opens a folder (scanned, kept live) or a snapshot file (read off the main thread) in a
    /// window of its own. Anything else gets an error dialog and no window.
    void open(const std::string& path);
    /// Opens a listed favourite in a window, or brings forward the window that shows it.
    void open(const std::shared_ptr<Favorite>& favorite);
    /// Scans a favourite's location afresh; its window shows the new tree once it is in.
    void rescan(const std::shared_ptr<Favorite>& favorite);
    /// The favourites window (made on first use), brought to the front.
    FavoritesWindow& showFavorites();
    /// Opens the trees at `paths` (folders, scanned once, or snapshots) as one sequence window,
    /// once all are read; an error dialog and no window when one cannot be read.
    void openSequence(const std::vector<std::string>& paths);
    /// Asks which of the opened trees to compare, then opens them as a sequence window. Trees of
    /// live folders are compared as they stand now.
    void chooseSequence(QWidget* parent);
    void chooseFolder(QWidget* parent);
    void chooseSnapshot(QWidget* parent);
    void showAbout(QWidget* parent);

    /// The What's New dialog, while it is open after an upgrade.
    QWidget* whatsNew() const { return whatsNew_; }
    /// Shows the dialog of what is new in this version (Help > What's New).
    QWidget& showWhatsNew();
    /// Says once, in a dialog and in the log, what the settings file held that could not be
    /// used.
    void reportSettingsProblems();

    /// The document windows open now, oldest first.
    std::vector<DocumentWindow*> windows() const;
    /// Snapshots being read.
    int pendingOpenings() const { return pendingOpenings_; }
    /// True once a location failed to open and none has opened.
    bool onlyFailed() const { return failures_ > 0 && opened_ == 0; }

signals:
    /// A window was opened for a location.
    void documentOpened(DocumentWindow* window);
    /// A sequence window was opened.
    void sequenceOpened(SequenceWindow* window);
    /// A location could not be opened; the dialog says why.
    void openingFailed(const QString& message);

private:
    void showError(const QString& message);
    /// Records this build in "lastVersion", migrating what an older build stored first.
    void upgradeFromLastVersion();
    DocumentWindow* addWindow(std::string location,
                              std::shared_ptr<class FileController> controller,
                              std::shared_ptr<Favorite> favorite);
    void openSnapshot(const std::string& path);
    void showSequence(std::vector<std::shared_ptr<class FileController>> trees,
                      const std::vector<Date>& dates);

    AppOptions options_;
    FavoriteManager favorites_;
    QPointer<FavoritesWindow> favoritesWindow_;
    QPointer<QWidget> whatsNew_;
    QtLabelTypesetter typesetter_;
    GraphViewOptions graphViewOptions_;
    std::vector<QPointer<DocumentWindow>> windows_; // in the order they opened
    int pendingOpenings_ = 0;
    int failures_ = 0;
    int opened_ = 0;
};

} // namespace tessera
