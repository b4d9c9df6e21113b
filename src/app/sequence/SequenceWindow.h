// A window that compares trees: the graph above a slider with one tick per tree. Moving the
// slider morphs the picture from one tree into the next; hover, bubbles and zooming work on the
// morphing picture, the commands that change the graph do not.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QSlider;

namespace tessera {

class ChangeList;
class CommandSet;
class File;
class Application;
class FileController;
class Graph;
class GraphViewController;
class SequenceSlider;
struct Settings;

class SequenceWindow final : public QMainWindow {
public:
    /// The slider's steps per tree: arrow keys move by one step (0.01 of a tree), Page Up and
    /// Page Down by a whole tree.
    static constexpr int kStepsPerTree = 1000;

    /// `trees` (at least two, each holding a tree that does not change) in order, named under
    /// their ticks by `labels`.
    SequenceWindow(Application& application, std::vector<std::shared_ptr<FileController>> trees,
                   std::vector<std::string> labels);
    ~SequenceWindow() override;

    Graph& graph() const;
    GraphViewController& graphViewController() const { return *graphViewController_; }
    QSlider& slider() const { return *slider_; }
    ChangeList& changeList() const { return *changeList_; }
    CommandSet& commands() const { return *commands_; }
    /// Times the slider reached a tree other than the one it last stood on.
    int treesReached() const { return treesReached_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addCommands(Application& application);
    QWidget* makeSliderPanel(const std::vector<std::string>& labels);
    void sliderMoved(int value);
    /// Shows an entry of the change list in the graph, where the tree stood on holds it.
    void showChangedEntry(const File& file);
    void placeTickLabels();

    std::unique_ptr<Settings> settings_; // the window's own, never saved
    std::vector<std::shared_ptr<FileController>> trees_;
    std::vector<class Directory*> roots_;
    std::unique_ptr<SequenceSlider> position_;
    CommandSet* commands_;
    GraphViewController* graphViewController_;
    QSlider* slider_ = nullptr;
    ChangeList* changeList_ = nullptr;
    std::vector<QLabel*> tickLabels_;
    int treesReached_ = 0;
};

} // namespace tessera
