#include "app/document/LogsWindow.h"

#include "app/QtConversions.h"
#include "app/defaults/UserDefaults.h"
#include "model/Localization.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QVBoxLayout>
#include <chrono>

namespace tessera {
namespace {

QString timeOf(const LogLine& line) {
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(line.date().time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(since.count()).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

LogsModel::LogsModel(LogController& log, QObject* parent) : QAbstractListModel(parent), log_(log) {
    log_.setDelegate(this);
    rows_ = static_cast<int>(log_.filteredLogs().size());
}

LogsModel::~LogsModel() {
    log_.setDelegate(nullptr);
}

int LogsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant LogsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= log_.filteredLogs().size())
        return {};
    const LogLine& line = log_.filteredLogs()[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return timeOf(line) + QStringLiteral("  ") + toQString(line.title().formatted());
    case Qt::ToolTipRole:
        return toQString(line.message().formatted());
    default:
        return {};
    }
}

void LogsModel::logsDidInsert(std::size_t row) {
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
    ++rows_;
    endInsertRows();
}

void LogsModel::logsDidRemove(std::size_t firstRow, std::size_t count) {
    beginRemoveRows({}, static_cast<int>(firstRow), static_cast<int>(firstRow + count) - 1);
    rows_ -= static_cast<int>(count);
    endRemoveRows();
}

void LogsModel::logsDidReload() {
    beginResetModel();
    rows_ = static_cast<int>(log_.filteredLogs().size());
    endResetModel();
}

LogsWindow::LogsWindow(LogController& log)
    : QWidget(nullptr, Qt::Window), log_(log), model_(new LogsModel(log, this)),
      kind_(new QComboBox(this)), filterField_(new QLineEdit(this)), list_(new QListView(this)),
      detail_(new QLabel(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("logsWindow"));
    setWindowTitle(localizedQString("logs.title"));
    kind_->addItem(localizedQString("logs.errors"));
    kind_->addItem(localizedQString("logs.detailed"));
    kind_->setCurrentIndex(log_.filter().logType == LogController::LogType::detailed ? 1 : 0);
    filterField_->setPlaceholderText(localizedQString("logs.filter"));
    filterField_->setClearButtonEnabled(true);
    kind_->setAccessibleName(localizedQString("logs.shown"));
    filterField_->setAccessibleName(localizedQString("logs.filter"));
    list_->setAccessibleName(localizedQString("logs.title"));
    detail_->setAccessibleName(localizedQString("logs.detail"));
    filterField_->setText(toQString(log_.filter().text));
    auto* top = new QHBoxLayout;
    top->addWidget(kind_);
    top->addWidget(filterField_, 1);
    list_->setModel(model_);
    list_->setUniformItemSizes(true);
    list_->setAlternatingRowColors(true);
    detail_->setWordWrap(true);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detail_->setMinimumHeight(48);
    detail_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(list_, 1);
    column->addWidget(detail_);
    connect(kind_, &QComboBox::currentIndexChanged, this, &LogsWindow::applyFilter);
    connect(filterField_, &QLineEdit::textChanged, this, &LogsWindow::applyFilter);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &LogsWindow::showDetail);
    restoreWindowGeometry(*this, "logsWindow", {640, 420});
    applyFilter();
}

LogsWindow::~LogsWindow() {
    saveWindowGeometry(*this, "logsWindow");
    LogController::detailedLogging = false;
}

void LogsWindow::closeEvent(QCloseEvent* event) {
    // Nobody looks at the detailed lines any more: scans stop describing every entry.
    LogController::detailedLogging = false;
    QWidget::closeEvent(event);
}

LogsWindow& LogsWindow::showShared(bool detailed) {
    static QPointer<LogsWindow> shared;
    if (!shared) shared = new LogsWindow();
    if (detailed) shared->kind_->setCurrentIndex(1);
    // A window closed and shown again describes entries again if it shows every line.
    shared->applyFilter();
    shared->show();
    shared->raise();
    shared->activateWindow();
    return *shared;
}

void LogsWindow::applyFilter() {
    const bool detailed = kind_->currentIndex() == 1;
    // Scans describe every entry only while someone looks at the detailed lines.
    LogController::detailedLogging = detailed;
    log_.setFilter({filterField_->text().toStdString(),
                    detailed ? LogController::LogType::detailed : LogController::LogType::errors});
    list_->scrollToBottom();
    showDetail();
}

void LogsWindow::showDetail() {
    const QModelIndex current = list_->currentIndex();
    detail_->setText(current.isValid() ? model_->data(current, Qt::ToolTipRole).toString()
                                       : QString());
}

} // namespace tessera
