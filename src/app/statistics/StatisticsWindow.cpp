#include "app/statistics/StatisticsWindow.h"

#include "app/QtConversions.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "model/Utf8.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QTabWidget>
#include <QThreadPool>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

namespace tessera {

// The files of each size bucket as bars, their heights on a log scale, the smallest sizes left.
class SizeHistogram final : public QWidget {
public:
    explicit SizeHistogram(QWidget* parent) : QWidget(parent) {
        setMinimumHeight(120);
        setObjectName(QStringLiteral("sizeHistogram"));
    }
    void setBuckets(std::vector<SizeBucket> buckets) {
        buckets_ = std::move(buckets);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = rect().adjusted(8, 8, -8, -24);
        if (buckets_.empty() || area.width() <= 0) return;
        std::int64_t most = 1;
        for (const SizeBucket& bucket : buckets_)
            most = std::max(most, bucket.count);
        const double top = std::log10(static_cast<double>(most) + 1);
        const double width = static_cast<double>(area.width()) / buckets_.size();
        painter.setPen(Qt::NoPen);
        const QColor bar = palette().color(QPalette::Highlight);
        for (std::size_t i = 0; i < buckets_.size(); ++i) {
            const double share = std::log10(static_cast<double>(buckets_[i].count) + 1) / top;
            const double height = share * area.height();
            painter.fillRect(QRectF(area.left() + i * width + 1, area.bottom() - height,
                                    std::max(1.0, width - 2), height),
                             bar);
        }
        // The first and last bucket's lower bounds under the bars.
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(area.left(), area.bottom() + 4, area.width(), 18), Qt::AlignLeft,
                         toQString(formatByteCount(buckets_.front().lower)));
        painter.drawText(QRect(area.left(), area.bottom() + 4, area.width(), 18), Qt::AlignRight,
                         toQString(formatByteCount(buckets_.back().lower)));
    }

private:
    std::vector<SizeBucket> buckets_;
};

namespace {

// Sorts by the number kept under SortRole where there is one, else by the text.
constexpr int kSortRole = Qt::UserRole + 1;
constexpr int kRowRole = Qt::UserRole + 2;

class Row final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        const QVariant mine = data(column, kSortRole);
        const QVariant theirs = other.data(column, kSortRole);
        if (mine.isValid() && theirs.isValid()) return mine.toLongLong() < theirs.toLongLong();
        return text(column).localeAwareCompare(other.text(column)) < 0;
    }
};

QTreeWidget* makeTable(const QStringList& headers, QWidget* parent) {
    auto* table = new QTreeWidget(parent);
    table->setHeaderLabels(headers);
    table->setRootIsDecorated(false);
    table->setSortingEnabled(true);
    table->setUniformRowHeights(true);
    table->header()->setStretchLastSection(true);
    return table;
}

// A number column: shown as `text`, sorted by `value`, aligned right.
void setNumber(QTreeWidgetItem& row, int column, std::int64_t value, const std::string& text) {
    row.setText(column, toQString(text));
    row.setData(column, kSortRole, static_cast<qlonglong>(value));
    row.setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

void setShare(QTreeWidgetItem& row, int column, std::int64_t part, std::int64_t whole) {
    const double share = whole > 0 ? 100.0 * part / whole : 0;
    row.setText(column, QString::number(share, 'f', 1) + QStringLiteral(" %"));
    row.setData(column, kSortRole, static_cast<qlonglong>(std::llround(share * 1000)));
    row.setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace

StatisticsWindow::StatisticsWindow(Graph& graph,
                                   std::function<std::shared_ptr<FileController>()> controller,
                                   std::function<void(std::shared_ptr<const FilePredicate>)> chosen,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), graph_(graph), controller_(std::move(controller)),
      chosen_(std::move(chosen)), tabs_(new QTabWidget(this)), summary_(new QLabel(this)),
      histogram_(new SizeHistogram(this)) {
    setObjectName(QStringLiteral("statisticsWindow"));
    setWindowTitle(localizedQString("statistics.title"));
    resize(760, 520);
    types_ =
        makeTable({localizedQString("statistics.type"), localizedQString("statistics.category"),
                   localizedQString("statistics.files"), localizedQString("statistics.size"),
                   localizedQString("statistics.share"), localizedQString("statistics.largest")},
                  this);
    sizes_ = makeTable({localizedQString("statistics.sizes"), localizedQString("statistics.files"),
                        localizedQString("statistics.size"), localizedQString("statistics.share")},
                       this);
    months_ = makeTable({localizedQString("statistics.month"), localizedQString("statistics.files"),
                         localizedQString("statistics.size"), localizedQString("statistics.share")},
                        this);
    auto* sizesPage = new QWidget(this);
    auto* sizesLayout = new QVBoxLayout(sizesPage);
    sizesLayout->addWidget(histogram_);
    sizesLayout->addWidget(sizes_, 1);
    tabs_->addTab(types_, localizedQString("statistics.byType"));
    tabs_->addTab(sizesPage, localizedQString("statistics.bySize"));
    tabs_->addTab(months_, localizedQString("statistics.byAge"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(tabs_, 1);
    for (QTreeWidget* table : {types_, sizes_, months_}) {
        connect(table, &QTreeWidget::itemActivated, this,
                [this](QTreeWidgetItem* item) { choose(item); });
    }

    // Counted again when what it counts changed, at most once a second.
    auto* poll = new QTimer(this);
    poll->setInterval(1000);
    connect(poll, &QTimer::timeout, this, [this] {
        if (isVisible()) countIfChanged();
    });
    poll->start();
    QTimer::singleShot(0, this, [this] { countIfChanged(); });
}

StatisticsWindow::~StatisticsWindow() {
    if (counting_) *counting_ = true;
}

void StatisticsWindow::countIfChanged() {
    const std::shared_ptr<FileController> controller = controller_();
    const File* shown = graph_.file();
    if (!controller || controller->loadedRootFile() == nullptr || shown == nullptr ||
        shown->asDirectory() == nullptr || counting_)
        return;
    const Counted now{shown, graph_.treeRevision(), static_cast<int>(graph_.settings().sizeMode)};
    if (counted_ == now) return;
    counted_ = now;
    sizeMode_ = graph_.settings().sizeMode;
    summary_->setText(localizedQString("statistics.counting"));
    // The tree's updates wait until the count has stopped reading it.
    controller->pauseUpdates();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    counting_ = cancelled;
    const Directory* folder = shown->asDirectory();
    QPointer<StatisticsWindow> self(this);
    const SizeMode mode = sizeMode_;
    QThreadPool::globalInstance()->start([self, controller, folder, cancelled, mode] {
        auto statistics = computeStatistics(*folder, mode, *cancelled);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, controller, cancelled, statistics = std::move(statistics)]() mutable {
                controller->resumeUpdates();
                if (!self || *cancelled) return;
                self->counting_.reset();
                if (statistics) self->display(std::move(*statistics));
            },
            Qt::QueuedConnection);
    });
}

void StatisticsWindow::display(TreeStatistics statistics) {
    statistics_ = std::move(statistics);
    const TreeStatistics& s = *statistics_;
    std::string percentiles;
    for (std::size_t i = 0; i < s.percentiles.size(); ++i)
        percentiles +=
            (i > 0 ? ", " : "") + localizedFormat("statistics.percentile",
                                                  {std::to_string(TreeStatistics::kPercentiles[i]),
                                                   formatByteCount(s.percentiles[i])});
    summary_->setText(toQString(
        localizedFormat("statistics.summary", {formatCount(s.files), formatByteCount(s.size),
                                               s.files > 0 ? percentiles : std::string("–")})));

    for (QTreeWidget* table : {types_, sizes_, months_}) {
        table->setSortingEnabled(false);
        table->clear();
    }
    for (std::size_t i = 0; i < s.types.size(); ++i) {
        const TypeStatistics& type = s.types[i];
        auto* row = new Row(types_);
        row->setText(0, type.extension.empty() ? localizedQString("statistics.noExtension")
                                               : toQString("." + toDisplayString(type.extension)));
        // Names without an extension are of every kind: no one category stands for them.
        row->setText(1, type.extension.empty() ? QStringLiteral("–")
                                               : localizedQString(categoryTextKey(type.category)));
        setNumber(*row, 2, type.count, formatCount(type.count));
        setNumber(*row, 3, type.size, formatByteCount(type.size));
        setShare(*row, 4, type.size, s.size);
        QStringList largest;
        for (const std::string& path : type.largest)
            largest << toQString(toDisplayString(path));
        row->setText(5, largest.join(QStringLiteral(", ")));
        row->setData(0, kRowRole, static_cast<int>(i));
    }
    for (std::size_t i = 0; i < s.sizes.size(); ++i) {
        const SizeBucket& bucket = s.sizes[i];
        auto* row = new Row(sizes_);
        setNumber(*row, 0, bucket.lower,
                  bucket.lower == 0
                      ? formatByteCount(0)
                      : formatByteCount(bucket.lower) + " – " + formatByteCount(bucket.upper));
        row->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
        setNumber(*row, 1, bucket.count, formatCount(bucket.count));
        setNumber(*row, 2, bucket.size, formatByteCount(bucket.size));
        setShare(*row, 3, bucket.size, s.size);
        row->setData(0, kRowRole, static_cast<int>(i));
    }
    histogram_->setBuckets(s.sizes);
    for (std::size_t i = 0; i < s.months.size(); ++i) {
        const MonthStatistics& month = s.months[i];
        auto* row = new Row(months_);
        char label[16];
        std::snprintf(label, sizeof label, "%04d-%02d", month.year, month.month);
        setNumber(*row, 0, month.year * 100 + month.month, label);
        row->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
        setNumber(*row, 1, month.count, formatCount(month.count));
        setNumber(*row, 2, month.size, formatByteCount(month.size));
        setShare(*row, 3, month.size, s.size);
        row->setData(0, kRowRole, static_cast<int>(i));
    }
    types_->sortByColumn(3, Qt::DescendingOrder);
    sizes_->sortByColumn(0, Qt::AscendingOrder);
    months_->sortByColumn(0, Qt::DescendingOrder);
    for (QTreeWidget* table : {types_, sizes_, months_}) {
        table->setSortingEnabled(true);
        for (int column = 0; column + 1 < table->columnCount(); ++column)
            table->resizeColumnToContents(column);
    }
}

void StatisticsWindow::choose(QTreeWidgetItem* item) {
    if (item == nullptr || !statistics_) return;
    const auto index = static_cast<std::size_t>(item->data(0, kRowRole).toInt());
    std::shared_ptr<const FilePredicate> filter;
    if (item->treeWidget() == types_ && index < statistics_->types.size())
        filter = std::make_shared<StatisticsFilter>(
            StatisticsFilter::ofType(statistics_->types[index].extension));
    else if (item->treeWidget() == sizes_ && index < statistics_->sizes.size())
        filter = std::make_shared<StatisticsFilter>(
            StatisticsFilter::ofSizes(statistics_->sizes[index], sizeMode_));
    else if (item->treeWidget() == months_ && index < statistics_->months.size())
        filter = std::make_shared<StatisticsFilter>(StatisticsFilter::ofMonth(
            statistics_->months[index].year, statistics_->months[index].month));
    if (filter) chosen_(std::move(filter));
}

} // namespace tessera
