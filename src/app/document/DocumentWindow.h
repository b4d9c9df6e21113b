// One window onto one opened location: a folder scanned and kept live, or a snapshot. It wires
// the graph view controller, the toolbar (back, forward, path) and the menus built from the
// window's commands; the graph, the file controller and the favourite do the work.
#pragma once

#include "graph/GraphView.h"
#include "model/Callbacks.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>

class QAction;
class QLineEdit;
class QSplitter;
class QUndoStack;

namespace tessera {

class CommandSet;
class Application;
class Favorite;
struct Cleanup;
class StatisticsWindow;
class File;
class FileController;
class Graph;
class GraphViewController;
class OutlineViewController;
class PathBar;

class DocumentWindow final : public QMainWindow, public GraphDelegate {
public:
    /// A window showing `controller`'s tree. For a folder `favorite` holds the controller and
    /// starts its scan; a snapshot has none.
    DocumentWindow(Application& application, std::string location,
                   std::shared_ptr<FileController> controller, std::shared_ptr<Favorite> favorite);
    ~DocumentWindow() override;

    const std::string& location() const { return location_; }
    /// The favourite of a folder's window (shared with the favourites list); null for a
    /// snapshot.
    Favorite* favorite() const { return favorite_.get(); }
    GraphViewController& graphViewController() const { return *graphViewController_; }
    OutlineViewController& outlineViewController() const { return *outlineViewController_; }
    bool isOutlineShown() const;
    QLineEdit& searchField() const { return *searchField_; }
    QUndoStack& undoStack() const { return *undoStack_; }
    void setOutlineShown(bool shown);
    Graph& graph() const;
    CommandSet& commands() const { return *commands_; }
    FileController* fileController() const { return controller_.get(); }
    const std::shared_ptr<FileController>& sharedFileController() const { return controller_; }

    // GraphDelegate.
    void graphDidLoadTree(Directory& root) override;
    void graphDidChangeFile(File* file) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addCommands();
    void buildMenus();
    void buildToolBar();
    void showGraph();
    /// Shows the favourite's new controller when it got one (a scan started afresh).
    void favoriteDidChange();
    /// Follows `controller_`'s liveness: a notice in the status bar once the tree no longer
    /// follows the disk.
    void observeLiveness();
    void showLiveness();
    void buildSplit();
    /// The search rules: typing shows the outline with what matches; clearing the field shows
    /// the whole tree again, and hides the outline if it was hidden when the search began.
    void searchTextChanged(const QString& query);
    /// The file the file commands act on.
    File* targetFile() const;
    void moveTargetToTrash();
    /// Opens the desktop's terminal in the folder of `file` (a folder's own).
    void openTerminalHere(const File& file);
    void buildCleanupsMenu();
    /// Runs `cleanup` on the target entry in a window of its own (asking first when it is
    /// dangerous), and measures what it changed again once it ended.
    void runCleanup(const Cleanup& cleanup);
    void editCleanups();
    /// The statistics window of this window's graph, made on first use.
    void showStatistics();
    /// The folder that Exclude from Chart would leave out, if any.
    File* exclusionTarget() const;
    void excludeTargetFromChart();
    void goBack();
    void goForward();
    void refresh();
    /// The notice (hidden until needed) that the folder shown no longer exists.
    QWidget* makeGoneNotice(QWidget* parent);
    void showIfGone();

    Application& application_;
    std::string location_;
    std::shared_ptr<FileController> controller_;
    std::shared_ptr<Favorite> favorite_;
    Subscription favoriteSubscription_;
    Subscription livenessSubscription_;
    CommandSet* commands_;
    QUndoStack* undoStack_;
    GraphViewController* graphViewController_;
    OutlineViewController* outlineViewController_ = nullptr;
    QSplitter* split_ = nullptr;
    int outlineHeight_ = 220; // the outline's height when it is shown again
    const File* lastShownFile_ = nullptr;
    std::optional<SizeMode> listedSizeMode_; // the measure the outline's rows are sorted by
    /// A setting of the graph changed: a new measure orders the outline's rows afresh.
    void graphSettingsChanged();
    /// The window's title: the shown location's name.
    void updateTitle();
    void applyTabOrder();
    /// Counts a finished scan in the user defaults, with the review's bookkeeping.
    void countCompletedScan();
    /// Cut, Copy, Paste and Select All, on the focused field, the list's rows or the graph.
    void addClipboardCommands(CommandSet& commands);
    /// True while the outline is shown and has the keyboard.
    bool outlineHasKeyboard() const;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QLineEdit* searchField_ = nullptr;
    QString searchQuery_;
    bool outlineWasShownBeforeSearch_ = false;
    PathBar* pathBar_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QMenu* cleanupsMenu_ = nullptr;
    QPointer<StatisticsWindow> statistics_;
    QWidget* goneNotice_ = nullptr;
};

} // namespace tessera
