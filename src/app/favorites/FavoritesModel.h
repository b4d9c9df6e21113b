// The favourites list for a list view: one row per favourite, kept current as the list changes
// and as each favourite's name, availability and sizes change. Rows are reordered by dragging
// them, and folders dropped from a file manager become favourites.
#pragma once

#include "model/Callbacks.h"
#include "settings/FavoriteManager.h"

#include <QAbstractListModel>
#include <memory>
#include <vector>

namespace tessera {

class Favorite;

class FavoritesModel final : public QAbstractListModel {
    Q_OBJECT

public:
    /// What a row offers beyond its name and icon.
    enum Role {
        IsVolumeRole = Qt::UserRole + 1,
        AvailableRole,
        KeptRole,
        UsedRole,      // bytes used on a volume
        TotalRole,     // a volume's capacity, or a scanned folder's size; invalid when unknown
        UsageLevelRole // Favorite::UsageLevel as an int
    };
    /// The drag type of rows moved within the list: their indexes.
    static constexpr const char* kIndexesType = "application/x-tessera-favorite-indexes";

    explicit FavoritesModel(FavoriteManager& manager, QObject* parent = nullptr);
    ~FavoritesModel() override;

    std::shared_ptr<Favorite> favoriteAt(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    /// Rows were moved by a drop; they now start at `first`.
    void rowsDropped(int first, int count);

private:
    /// What a screen reader says of a row after its name.
    static QString accessibleDescription(const Favorite& favorite);
    struct Row {
        std::shared_ptr<Favorite> favorite;
        Subscription changes; // its name, availability and sizes
    };
    /// Follows the list's change with the row signals that say exactly what changed.
    void listDidChange(const FavoriteManager::ListChange& change);
    void rebuild();
    Row rowFor(const std::shared_ptr<Favorite>& favorite);

    FavoriteManager& manager_;
    /// The favourites the rows show.
    std::vector<Row> rows_;
    Subscription listSubscription_;
};

} // namespace tessera
