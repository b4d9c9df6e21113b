#include "app/favorites/FavoritesWindow.h"

#include "app/Application.h"
#include "app/QtConversions.h"
#include "app/commands/CommandSet.h"
#include "app/commands/WindowCommands.h"
#include "app/defaults/UserDefaults.h"
#include "app/favorites/FavoriteRowDelegate.h"
#include "app/favorites/FavoriteSettingsPanel.h"
#include "app/favorites/FavoritesModel.h"
#include "model/Localization.h"
#include "settings/FavoriteManager.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolButton>

namespace tessera {
namespace {

// How often a shown window reads the volumes' space again.
constexpr int kSizeRefreshMilliseconds = 5000;

} // namespace

FavoritesWindow::FavoritesWindow(Application& application)
    : application_(application), commands_(new CommandSet(this)),
      model_(new FavoritesModel(application.favorites(), this)), list_(new QListView),
      sizeRefresh_(new QTimer(this)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(localizedQString("favorites.title"));
    setObjectName(QStringLiteral("favoritesWindow"));

    list_->setObjectName(QStringLiteral("favoritesList"));
    list_->setModel(model_);
    list_->setItemDelegate(new FavoriteRowDelegate(list_));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setDragDropMode(QAbstractItemView::DragDrop);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->setDropIndicatorShown(true);
    list_->setDragEnabled(true);
    list_->setAcceptDrops(true);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setAccessibleName(localizedQString("favorites.title"));
    connect(list_, &QListView::activated, this, [this](const QModelIndex& index) {
        if (auto favorite = model_->favoriteAt(index)) application_.open(favorite);
    });
    connect(model_, &FavoritesModel::rowsDropped, this, [this](int first, int count) {
        list_->selectionModel()->clearSelection();
        for (int row = first; row < first + count; ++row)
            list_->selectionModel()->select(model_->index(row), QItemSelectionModel::Select);
        list_->selectionModel()->setCurrentIndex(model_->index(first),
                                                 QItemSelectionModel::NoUpdate);
    });

    addCommands();
    buildMenus();

    // Small "+" and "−" buttons under the list, as file choosers have them.
    const auto button = [this](CommandId id, const QString& sign) {
        QAction* action = commands_->action(id);
        auto* tool = new QToolButton;
        tool->setText(sign);
        tool->setToolTip(action->text().remove(QLatin1Char('&')));
        tool->setAccessibleName(tool->toolTip());
        tool->setEnabled(action->isEnabled());
        connect(tool, &QToolButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::enabledChanged, tool, &QToolButton::setEnabled);
        return tool;
    };
    QToolButton* add = button(command::addFavorite, QStringLiteral("+"));
    QToolButton* remove = button(command::removeFavorite, QStringLiteral("\u2212"));
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 2, 4, 4);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    setCentralWidget(central);

    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, commands_,
            &CommandSet::refresh);
    connect(model_, &QAbstractItemModel::modelReset, commands_, &CommandSet::refresh);
    connect(sizeRefresh_, &QTimer::timeout, this,
            [this] { application_.favorites().refreshSizes(); });
    sizeRefresh_->setInterval(kSizeRefreshMilliseconds);
    commands_->refresh();
    restoreWindowGeometry(*this, "favoritesWindow", {320, 420});
}

FavoritesWindow::~FavoritesWindow() = default;

std::shared_ptr<Favorite> FavoritesWindow::currentFavorite() const {
    return model_->favoriteAt(list_->currentIndex());
}

void FavoritesWindow::addCommands() {
    CommandSet& commands = *commands_;
    const auto hasCurrent = [this] { return currentFavorite() != nullptr; };
    commands.add(command::openFavorite, localizedQString("favorites.open"),
                 [this] {
                     if (auto favorite = currentFavorite()) application_.open(favorite);
                 },
                 {.enabled = [this] { return currentFavorite() && currentFavorite()->enabled(); }});
    commands.add(
        command::keepFavorite, localizedQString("favorites.keep"),
        [this] {
            if (auto favorite = currentFavorite())
                application_.favorites().keep(application_.favorites().indexOf(*favorite));
        },
        {.visible = [this] { return currentFavorite() && !currentFavorite()->isFavorite(); }});
    commands.add(command::favoriteSettings, localizedQString("favorites.settings"),
                 [this] { showSettings(); }, {.enabled = hasCurrent});
    commands.add(command::addFavorite, localizedQString("favorites.add"), [this] { addFolder(); });
    commands.add(
        command::removeFavorite, localizedQString("favorites.remove"), [this] { removeCurrent(); },
        {.enabled = hasCurrent}, QKeySequence::Delete);
    commands.add(
        command::openFolder, localizedQString("menu.file.open"),
        [this] { application_.chooseFolder(this); }, {}, QKeySequence::Open);
    commands.add(command::openSnapshot, localizedQString("menu.file.openSnapshot"),
                 [this] { application_.chooseSnapshot(this); });
    addApplicationCommands(commands, *this, application_);
    addWindowCommands(commands, *this);
}

void FavoritesWindow::buildMenus() {
    CommandSet& commands = *commands_;
    commands.fill(menuBar()->addMenu(localizedQString("menu.file")),
                  {command::openFolder, command::openSnapshot, separator, command::addFavorite,
                   command::removeFavorite, command::favoriteSettings, separator, command::close,
                   command::quit});
    addWindowAndHelpMenus(*this, commands);

    QMenu* context = commands.fill(new QMenu(this),
                                   {command::openFavorite, command::keepFavorite, separator,
                                    command::favoriteSettings, separator, command::removeFavorite});
    connect(list_, &QWidget::customContextMenuRequested, this, [this, context](QPoint at) {
        const QModelIndex index = list_->indexAt(at);
        if (!index.isValid()) return;
        list_->setCurrentIndex(index);
        context->popup(list_->viewport()->mapToGlobal(at));
    });
}

void FavoritesWindow::selectRow(int row) {
    const QModelIndex index = model_->index(row);
    if (!index.isValid()) return;
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    list_->scrollTo(index);
}

void FavoritesWindow::addFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, localizedQString("favorites.add"));
    if (folder.isEmpty()) return;
    FavoriteManager& favorites = application_.favorites();
    const std::size_t index = favorites.add(toPath(folder), true).first;
    favorites.keep(index);
    list_->setCurrentIndex(model_->index(static_cast<int>(index)));
}

void FavoritesWindow::removeCurrent() {
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    std::vector<std::shared_ptr<Favorite>> removed;
    for (const QModelIndex& index : selected)
        removed.push_back(model_->favoriteAt(index));
    if (removed.empty() && currentFavorite()) removed.push_back(currentFavorite());
    FavoriteManager& favorites = application_.favorites();
    for (const auto& favorite : removed)
        favorites.remove(favorites.indexOf(*favorite));
}

void FavoritesWindow::showSettings() {
    const auto favorite = currentFavorite();
    if (!favorite) return;
    FavoriteSettingsPanel panel(
        *favorite, [this, favorite] { application_.rescan(favorite); }, this);
    panel.exec();
    application_.favorites().save();
}

void FavoritesWindow::showEvent(QShowEvent* event) {
    application_.favorites().refreshSizes();
    sizeRefresh_->start();
    QMainWindow::showEvent(event);
}

void FavoritesWindow::hideEvent(QHideEvent* event) {
    sizeRefresh_->stop();
    QMainWindow::hideEvent(event);
}

void FavoritesWindow::closeEvent(QCloseEvent* event) {
    saveWindowGeometry(*this, "favoritesWindow");
    QMainWindow::closeEvent(event);
}

} // namespace tessera
