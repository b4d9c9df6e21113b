#include "app/favorites/FavoritesModel.h"

#include "app/QtConversions.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "platform/Location.h"
#include "settings/FavoriteManager.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QMimeData>
#include <QStringList>
#include <QStyle>
#include <QUrl>
#include <cmath>

namespace tessera {
namespace {

QIcon iconOf(const Favorite& favorite) {
    QStyle* style = QApplication::style();
    if (!favorite.enabled())
        return QIcon::fromTheme(QStringLiteral("dialog-warning"),
                                style->standardIcon(QStyle::SP_MessageBoxWarning));
    if (favorite.isVolume())
        return QIcon::fromTheme(QStringLiteral("drive-harddisk"),
                                style->standardIcon(QStyle::SP_DriveHDIcon));
    const QString home = QStringLiteral("user-home");
    if (favorite.url() && toQString(*favorite.url()) == QDir::homePath() &&
        QIcon::hasThemeIcon(home))
        return QIcon::fromTheme(home);
    return QIcon::fromTheme(QStringLiteral("folder"), style->standardIcon(QStyle::SP_DirIcon));
}

std::vector<std::size_t> decodeIndexes(const QByteArray& bytes) {
    std::vector<std::size_t> indexes;
    for (const QByteArray& part : bytes.split(',')) {
        bool ok = false;
        const qulonglong index = part.toULongLong(&ok);
        if (ok) indexes.push_back(index);
    }
    return indexes;
}

std::vector<std::string> droppedFolders(const QMimeData* data) {
    std::vector<std::string> folders;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const platform::Location location = platform::classifyLocation(toPath(url.toLocalFile()));
        if (location.kind == platform::Location::Kind::folder) folders.push_back(location.path);
    }
    return folders;
}

} // namespace

FavoritesModel::FavoritesModel(FavoriteManager& manager, QObject* parent)
    : QAbstractListModel(parent), manager_(manager) {
    listSubscription_ = manager_.listChanged().subscribe(
        [this](const FavoriteManager::ListChange& change) { listDidChange(change); });
    rebuild();
}

FavoritesModel::~FavoritesModel() = default;

FavoritesModel::Row FavoritesModel::rowFor(const std::shared_ptr<Favorite>& favorite) {
    Subscription changes = favorite->changed().subscribe([this](Favorite& changed) {
        for (std::size_t row = 0; row < rows_.size(); ++row) {
            if (rows_[row].favorite.get() != &changed) continue;
            const QModelIndex at = index(static_cast<int>(row));
            emit dataChanged(at, at);
        }
    });
    return {favorite, std::move(changes)};
}

void FavoritesModel::rebuild() {
    beginResetModel();
    rows_.clear();
    for (std::size_t i = 0; i < manager_.count(); ++i)
        rows_.push_back(rowFor(manager_.at(i)));
    endResetModel();
}

void FavoritesModel::listDidChange(const FavoriteManager::ListChange& change) {
    using Kind = FavoriteManager::ListChange::Kind;
    const auto first = static_cast<int>(change.first);
    const auto last = static_cast<int>(change.first + change.count) - 1;
    switch (change.kind) {
    case Kind::reloaded:
        rebuild();
        return;
    case Kind::inserted:
        beginInsertRows({}, first, last);
        for (std::size_t i = change.first; i < change.first + change.count; ++i)
            rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(i), rowFor(manager_.at(i)));
        endInsertRows();
        return;
    case Kind::removed:
        beginRemoveRows({}, first, last);
        rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
        endRemoveRows();
        return;
    case Kind::kept:
        emit dataChanged(index(first), index(last));
        return;
    case Kind::moved: {
        // The selection and the current row follow their favourites.
        emit layoutAboutToBeChanged();
        std::vector<Row> moved(rows_.size());
        for (std::size_t row = 0; row < rows_.size(); ++row)
            moved[change.newRows[row]] = std::move(rows_[row]);
        rows_ = std::move(moved);
        for (const QModelIndex& old : persistentIndexList())
            changePersistentIndex(
                old, index(static_cast<int>(change.newRows[static_cast<std::size_t>(old.row())])));
        emit layoutChanged();
        return;
    }
    }
}

std::shared_ptr<Favorite> FavoritesModel::favoriteAt(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return nullptr;
    return rows_[static_cast<std::size_t>(index.row())].favorite;
}

int FavoritesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant FavoritesModel::data(const QModelIndex& index, int role) const {
    const std::shared_ptr<Favorite> favorite = favoriteAt(index);
    if (!favorite) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return toQString(favorite->name());
    case Qt::AccessibleDescriptionRole:
        return accessibleDescription(*favorite);
    case Qt::DecorationRole:
        return iconOf(*favorite);
    case Qt::ToolTipRole: {
        if (!favorite->url()) return toQString(favorite->name());
        QString tip = toQString(*favorite->url());
        if (favorite->isVolume() && favorite->totalSize())
            tip +=
                QStringLiteral("\n") +
                toQString(localizedFormat("favorites.usage", formatByteCount(favorite->size()))) +
                QStringLiteral(" / ") + toQString(formatByteCount(*favorite->totalSize()));
        if (favorite->isVolume() && favorite->reservedSize() > 0)
            tip += QStringLiteral(", ") +
                   toQString(localizedFormat("favorites.reserved",
                                             formatByteCount(favorite->reservedSize())));
        return tip;
    }
    case Qt::FontRole: {
        // Locations opened but not kept are listed for this session only.
        QFont font;
        font.setItalic(!favorite->isFavorite());
        return font;
    }
    case IsVolumeRole:
        return favorite->isVolume();
    case AvailableRole:
        return favorite->enabled();
    case KeptRole:
        return favorite->isFavorite();
    case UsedRole:
        return QVariant::fromValue<qint64>(favorite->size());
    case TotalRole:
        return favorite->totalSize() ? QVariant::fromValue<qint64>(*favorite->totalSize())
                                     : QVariant();
    case UsageLevelRole:
        return static_cast<int>(favorite->usageLevel());
    default:
        return {};
    }
}

QString FavoritesModel::accessibleDescription(const Favorite& favorite) {
    // What the row shows besides the name: the usage bar and its figures, and the italics of a
    // location opened but not kept.
    QStringList parts;
    if (!favorite.enabled()) parts << localizedQString("favorite.unavailable.general");
    if (favorite.isVolume() && favorite.totalSize() && *favorite.totalSize() > 0) {
        const double share = 100.0 * static_cast<double>(favorite.size()) /
                             static_cast<double>(*favorite.totalSize());
        parts << toQString(localizedFormat("favorites.accessibility.volumeUsage",
                                           {formatByteCount(favorite.size()),
                                            formatByteCount(*favorite.totalSize()),
                                            std::to_string(static_cast<int>(std::lround(share)))}));
    } else if (favorite.size() > 0) {
        parts << toQString(localizedFormat("favorites.usage", formatByteCount(favorite.size())));
    }
    if (!favorite.isFavorite()) parts << localizedQString("favorites.accessibility.notKept");
    return parts.join(QStringLiteral(", "));
}

Qt::ItemFlags FavoritesModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = QAbstractListModel::flags(index);
    if (!index.isValid()) return base | Qt::ItemIsDropEnabled;
    return base | Qt::ItemIsDragEnabled;
}

Qt::DropActions FavoritesModel::supportedDropActions() const {
    return Qt::MoveAction | Qt::CopyAction | Qt::LinkAction;
}

QStringList FavoritesModel::mimeTypes() const {
    return {QLatin1String(kIndexesType), QStringLiteral("text/uri-list")};
}

QMimeData* FavoritesModel::mimeData(const QModelIndexList& indexes) const {
    QByteArray encoded;
    for (const QModelIndex& index : indexes) {
        if (!encoded.isEmpty()) encoded += ',';
        encoded += QByteArray::number(index.row());
    }
    auto* data = new QMimeData;
    data->setData(QLatin1String(kIndexesType), encoded);
    return data;
}

bool FavoritesModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                     const QModelIndex&) const {
    return data->hasFormat(QLatin1String(kIndexesType)) || !droppedFolders(data).empty();
}

bool FavoritesModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                  const QModelIndex& parent) {
    if (action == Qt::IgnoreAction) return true;
    // Dropped onto a row: before it.
    if (row < 0) row = parent.isValid() ? parent.row() : rowCount();
    if (data->hasFormat(QLatin1String(kIndexesType))) {
        const std::vector<std::size_t> moved =
            decodeIndexes(data->data(QLatin1String(kIndexesType)));
        if (moved.empty()) return false;
        std::size_t before = 0;
        for (const std::size_t index : moved)
            if (index < static_cast<std::size_t>(row)) ++before;
        manager_.move(moved, static_cast<std::size_t>(row));
        emit rowsDropped(row - static_cast<int>(before), static_cast<int>(moved.size()));
        // The rows are already where they belong: the view must not remove the dragged ones.
        return false;
    }
    for (const std::string& folder : droppedFolders(data)) {
        const auto [index, present] = manager_.add(folder, true);
        manager_.keep(index);
    }
    return true;
}

} // namespace tessera
