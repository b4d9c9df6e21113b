#include "app/sequence/ChangeList.h"

#include "app/QtConversions.h"
#include "compare/ChangeText.h"
#include "compare/TreeComparison.h"
#include "model/File.h"
#include "model/Formatting.h"
#include "model/Localization.h"

#include <QHeaderView>

namespace tessera {
namespace {

enum Column { kindColumn, pathColumn, beforeColumn, afterColumn, differenceColumn };

// A row that sorts its numbers as numbers.
class ChangeItem final : public QTreeWidgetItem {
public:
    ChangeItem(const EntryChange& change, SizeMode mode) : change_(change) {
        setText(kindColumn,
                localizedQString(std::string("comparison.kind.") + changeKindName(change.kind)));
        QString path = toQString(change.entry().relativePath());
        if (change.kind == ChangeKind::renamed)
            path = toQString(change.before->relativePath()) + QStringLiteral(" \u2192 ") + path;
        if (change.entry().isDirectory()) path += QLatin1Char('/');
        setText(pathColumn, path);
        setText(beforeColumn,
                change.before != nullptr ? toQString(measureText(change.sizeBefore, mode)) : "");
        setText(afterColumn,
                change.after != nullptr ? toQString(measureText(change.sizeAfter, mode)) : "");
        setText(differenceColumn, toQString(changeText(change.difference(), mode)));
        for (const int column : {beforeColumn, afterColumn, differenceColumn})
            setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }

    const EntryChange& change() const { return change_; }

    bool operator<(const QTreeWidgetItem& other) const override {
        const EntryChange& theirs = static_cast<const ChangeItem&>(other).change_;
        switch (treeWidget()->sortColumn()) {
        case beforeColumn:
            return change_.sizeBefore < theirs.sizeBefore;
        case afterColumn:
            return change_.sizeAfter < theirs.sizeAfter;
        case differenceColumn:
            return change_.difference() < theirs.difference();
        default:
            return QTreeWidgetItem::operator<(other);
        }
    }

private:
    EntryChange change_;
};

} // namespace

ChangeList::ChangeList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("changeList"));
    setAccessibleName(localizedQString("comparison.list"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setHeaderLabels(
        {localizedQString("comparison.column.kind"), localizedQString("comparison.column.entry"),
         localizedQString("comparison.column.before"), localizedQString("comparison.column.after"),
         localizedQString("comparison.column.difference")});
    header()->setSectionResizeMode(pathColumn, QHeaderView::Stretch);
    header()->setStretchLastSection(false);
    // Listed largest change first; a column's header sorts by it.
    header()->setSectionsClickable(true);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
        header()->setSortIndicatorShown(true);
        sortItems(column, header()->sortIndicatorOrder());
    });
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (activated) activated(static_cast<ChangeItem*>(item)->change().entry());
    });
}

void ChangeList::show(const TreeComparison* comparison) {
    if (comparison == shown_) return;
    shown_ = comparison;
    header()->setSortIndicatorShown(false);
    clear();
    if (comparison == nullptr) return;
    QList<QTreeWidgetItem*> items;
    for (const EntryChange& change : comparison->changes()) {
        if (static_cast<std::size_t>(items.size()) == kRowsShown) break;
        items.push_back(new ChangeItem(change, comparison->sizeMode()));
    }
    addTopLevelItems(items);
    for (const int column : {kindColumn, beforeColumn, afterColumn, differenceColumn})
        resizeColumnToContents(column);
    if (!items.isEmpty()) setCurrentItem(items.front());
}

} // namespace tessera
