// The statistics of the shown folder's files in a window of their own: by type (extension and
// category: files, size, share, largest files), by size (a histogram of powers of two on a log
// scale, with percentiles) and by month of the last change. Every table sorts by any column. A
// row chosen (double click or Return) lights its files in the graph and lists them in the
// outline. Counted off the main thread while the tree's updates wait, and counted again when the
// shown folder or the tree changes (at most once a second).
#pragma once

#include "statistics/TreeStatistics.h"

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessera {

class FileController;
class Graph;
class SizeHistogram;

class StatisticsWindow final : public QWidget {
    Q_OBJECT

public:
    /// Shows the statistics of what `graph` shows; `chosen` receives the filter of a row chosen.
    StatisticsWindow(Graph& graph, std::function<std::shared_ptr<FileController>()> controller,
                     std::function<void(std::shared_ptr<const FilePredicate>)> chosen,
                     QWidget* parent);
    ~StatisticsWindow() override;

    QTreeWidget& types() const { return *types_; }
    QTreeWidget& sizes() const { return *sizes_; }
    QTreeWidget& months() const { return *months_; }
    QTabWidget& tabs() const { return *tabs_; }
    /// The last count shown, if any.
    const std::optional<TreeStatistics>& statistics() const { return statistics_; }
    /// True while a count runs.
    bool isCounting() const { return counting_ != nullptr; }

private:
    /// Counts again when the shown folder, the size mode or the tree changed since the last count.
    void countIfChanged();
    void display(TreeStatistics statistics);
    void choose(QTreeWidgetItem* item);

    Graph& graph_;
    std::function<std::shared_ptr<FileController>()> controller_;
    std::function<void(std::shared_ptr<const FilePredicate>)> chosen_;
    QTabWidget* tabs_;
    QLabel* summary_;
    QTreeWidget* types_;
    QTreeWidget* sizes_;
    SizeHistogram* histogram_;
    QTreeWidget* months_;
    std::optional<TreeStatistics> statistics_;
    std::shared_ptr<std::atomic<bool>> counting_; // the running count's cancellation
    struct Counted {
        const void* folder;
        std::uint64_t revision;
        int sizeMode;
        friend bool operator==(const Counted&, const Counted&) = default;
    };
    std::optional<Counted> counted_;
    SizeMode sizeMode_ = SizeMode::fileSize;
};

} // namespace tessera
