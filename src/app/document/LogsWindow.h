// The log window: the process's scans and unreadable entries, newest last, as the log keeps them
// (the last hour). It shows the errors or every line ("detailed", which also makes scans log
// each entry while it is open), filtered by a text; the selected line's full text shows below.
#pragma once

#include "logs/LogController.h"

#include <QAbstractListModel>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;

namespace tessera {

/// The filtered lines of the log, for a list view.
class LogsModel final : public QAbstractListModel, public LogsControllerDelegate {
public:
    explicit LogsModel(LogController& log, QObject* parent = nullptr);
    ~LogsModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void logsDidInsert(std::size_t row) override;
    void logsDidRemove(std::size_t firstRow, std::size_t count) override;
    void logsDidReload() override;

private:
    LogController& log_;
    /// The rows the view knows: the log tells of new lines after adding them and of old ones
    /// before dropping them, the view learns of each in between.
    int rows_ = 0;
};

class LogsWindow final : public QWidget {
public:
    explicit LogsWindow(LogController& log = LogController::shared());
    ~LogsWindow() override;

    /// Shows the process's one log window, making it if needed.
    /// The one logs window, brought forward; `detailed` switches it to every line.
    static LogsWindow& showShared(bool detailed = false);

    QListView& list() const { return *list_; }
    QLineEdit& filterField() const { return *filterField_; }
    QComboBox& kindChoice() const { return *kind_; }
    QLabel& detail() const { return *detail_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyFilter();
    void showDetail();

    LogController& log_;
    LogsModel* model_;
    QComboBox* kind_;
    QLineEdit* filterField_;
    QListView* list_;
    QLabel* detail_;
};

} // namespace tessera
