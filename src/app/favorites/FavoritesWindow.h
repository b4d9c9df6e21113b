// The favourites window: the locations the user keeps at hand, and those opened this session,
// each with its icon, name and a volume's usage bar. Enter or a double click opens one; rows
// are reordered by dragging; folders dropped from a file manager are added; the context menu
// holds a favourite's settings (its exclusion filter).
#pragma once

#include <QMainWindow>
#include <memory>

class QListView;
class QTimer;

namespace tessera {

class CommandSet;
class Application;
class Favorite;
class FavoritesModel;

class FavoritesWindow final : public QMainWindow {
public:
    explicit FavoritesWindow(Application& application);
    ~FavoritesWindow() override;

    QListView& list() const { return *list_; }
    /// Makes `row` the only selected row, and shows it.
    void selectRow(int row);
    FavoritesModel& model() const { return *model_; }
    CommandSet& commands() const { return *commands_; }
    /// The favourite of the current row, if any.
    std::shared_ptr<Favorite> currentFavorite() const;
    /// Opens the settings panel of the current favourite (modal).
    void showSettings();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void addCommands();
    void buildMenus();
    void addFolder();
    void removeCurrent();

    Application& application_;
    CommandSet* commands_;
    FavoritesModel* model_;
    QListView* list_;
    QTimer* sizeRefresh_;
};

} // namespace tessera
