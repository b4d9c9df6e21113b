// How a favourite's row looks: its icon and name, and below the name a volume's usage bar
// (green, yellow from the warning level, red from the critical level) or a scanned folder's
// size. Unavailable favourites are greyed.
#pragma once

#include <QStyledItemDelegate>

namespace tessera {

class FavoriteRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// The colour of a usage bar at `level` (a Favorite::UsageLevel).
    static QColor usageColor(int level);
};

} // namespace tessera
