#include "app/favorites/FavoriteRowDelegate.h"

#include "app/QtConversions.h"
#include "app/favorites/FavoritesModel.h"
#include "favorites/Favorite.h"
#include "model/Formatting.h"

#include <QApplication>
#include <QPainter>

namespace tessera {
namespace {

constexpr int kIconSize = 32;
constexpr int kPadding = 6;
constexpr int kBarHeight = 9;

} // namespace

QColor FavoriteRowDelegate::usageColor(int level) {
    switch (static_cast<Favorite::UsageLevel>(level)) {
    case Favorite::UsageLevel::critical:
        return QColor(0xe0, 0x1b, 0x24);
    case Favorite::UsageLevel::warning:
        return QColor(0xf6, 0xd3, 0x2d);
    case Favorite::UsageLevel::normal:
        break;
    }
    return QColor(0x33, 0xd1, 0x7a);
}

QSize FavoriteRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int text = option.fontMetrics.height();
    return {240, std::max(kIconSize, text + kBarHeight + 4) + 2 * kPadding};
}

void FavoriteRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    // The row draws its own icon: the style's highlight covers the whole row, never only what
    // is right of an icon it would have drawn.
    background.features &= ~QStyleOptionViewItem::HasDecoration;
    background.showDecorationSelected = true;
    QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    const bool available = index.data(FavoritesModel::AvailableRole).toBool();
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = available ? QPalette::Active : QPalette::Disabled;
    const QRect area = option.rect.adjusted(kPadding, kPadding, -kPadding, -kPadding);

    painter->save();
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect iconRect(area.left(), area.center().y() - kIconSize / 2, kIconSize, kIconSize);
    icon.paint(painter, iconRect, Qt::AlignCenter, available ? QIcon::Normal : QIcon::Disabled);

    const QRect textArea = area.adjusted(kIconSize + kPadding, 0, 0, 0);
    const QFont font = index.data(Qt::FontRole).value<QFont>();
    painter->setFont(font);
    painter->setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const int lineHeight = QFontMetrics(font).height();
    const QRect nameRect(textArea.left(), textArea.top(), textArea.width(), lineHeight);
    const QString name =
        QFontMetrics(font).elidedText(index.data().toString(), Qt::ElideMiddle, nameRect.width());
    painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter, name);

    const QVariant total = index.data(FavoritesModel::TotalRole);
    const QRect below(textArea.left(), nameRect.bottom() + 3, textArea.width(),
                      textArea.bottom() - nameRect.bottom() - 3);
    if (available && total.isValid() && index.data(FavoritesModel::IsVolumeRole).toBool()) {
        // The bar: a pale track, the used share filled from the left in the level's colour.
        const QRectF track = QRectF(below.left(), below.top(), below.width(), kBarHeight)
                                 .adjusted(0.5, 0.5, -0.5, -0.5);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor::fromRgbF(0.7f, 0.7f, 0.7f, 0.5f));
        painter->drawRoundedRect(track, 2, 2);
        const double maximum = static_cast<double>(total.toLongLong());
        const double used = static_cast<double>(index.data(FavoritesModel::UsedRole).toLongLong());
        const double share = maximum > 0 ? std::clamp(used / maximum, 0.0, 1.0) : 0.0;
        QRectF filled = track;
        filled.setWidth(track.width() * share);
        painter->setBrush(usageColor(index.data(FavoritesModel::UsageLevelRole).toInt()));
        painter->setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
        if (filled.width() > 0) painter->drawRoundedRect(filled, 2, 2);
    } else if (available && total.isValid()) {
        QFont small = font;
        small.setPointSizeF(font.pointSizeF() * 0.85);
        painter->setFont(small);
        painter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
        painter->drawText(below, Qt::AlignLeft | Qt::AlignTop,
                          toQString(formatByteCount(total.toLongLong())));
    }
    painter->restore();
}

} // namespace tessera
