// The favourites list for a list view: one row per favourite, kept current as the list changes
// and as each favourite's name, availability and sizes change. Rows are reordered by dragging
// them, and folders dropped from a file manager become favourites.
#pragma once

#include "model/Callbacks.h"

#include <QAbstractListModel>
#include <memory>
#include <utility>
#include <vector>

namespace tessera {

class Favorite;
class FavoriteManager;

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
    void rebuild();
    void forgetFavorites();

    FavoriteManager& manager_;
    Callbacks<>::Id listObserver_ = 0;
    /// The favourites the rows show, each with the id of the observer on it.
    std::vector<std::pair<std::shared_ptr<Favorite>, std::uint64_t>> rows_;
};

} // namespace tessera
