#include "app/outline/OutlineModel.h"

#include "app/QtConversions.h"
#include "controller/FileController.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "model/Localization.h"
#include "model/Utf8.h"

#include <QApplication>
#include <QFont>
#include <QMimeDatabase>
#include <QStyle>
#include <QTimer>
#include <algorithm>

namespace tessera {
namespace {

// Marks the time a change of the rows is being told.
struct ChangeInProgress {
    explicit ChangeInProgress(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~ChangeInProgress() { flag_ = was_; }
    ChangeInProgress(const ChangeInProgress&) = delete;
    ChangeInProgress& operator=(const ChangeInProgress&) = delete;
    bool& flag_;
    bool was_;
};

} // namespace

OutlineModel::OutlineModel(std::function<SizeMode()> sizeMode, QObject* parent)
    : QAbstractItemModel(parent), sizeMode_(std::move(sizeMode)) {}

OutlineModel::~OutlineModel() {
    if (controller_) controller_->removeObserver(*this);
}

void OutlineModel::setFileController(std::shared_ptr<FileController> controller) {
    if (controller_) controller_->removeObserver(*this);
    resetRows([this, &controller] { controller_ = std::move(controller); });
    if (controller_) controller_->addObserver(*this);
}

void OutlineModel::showFiltered(FilePtr tree, std::shared_ptr<const FilePredicate> filter) {
    {
        const ChangeInProgress change(changing_);
        beginResetModel();
        filtered_ = std::move(tree);
        filter_ = filtered_ ? std::move(filter) : nullptr;
        listed_.clear();
        places_.clear();
        accountLines_.clear();
        endResetModel();
    }
    if (!filter_) refreshAccount();
    emit reloaded();
}

void OutlineModel::relist() {
    {
        const ChangeInProgress change(changing_);
        beginResetModel();
        listed_.clear();
        places_.clear();
        endResetModel();
    }
    emit reloaded();
}

Directory* OutlineModel::observedRootFile() const {
    if (filtered_) return filtered_->asDirectory();
    return controller_ ? controller_->rootFile() : nullptr;
}

File* OutlineModel::fileAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<File*>(index.internalPointer()) : nullptr;
}

QModelIndex OutlineModel::indexOf(const File& file) const {
    return indexOf(file, name);
}

const std::vector<File*>* OutlineModel::rowsOf(const File* directory) const {
    const auto listed = listed_.find(directory);
    return listed != listed_.end() ? &listed->second : nullptr;
}

int OutlineModel::rowOf(const File& file) const {
    const auto place = places_.find(&file);
    return place != places_.end() ? place->second.row : 0;
}

void OutlineModel::renumber(File* parent, const std::vector<File*>& rows, std::size_t from) {
    for (std::size_t row = from; row < rows.size(); ++row)
        places_[rows[row]] = {parent, static_cast<int>(row)};
}

QModelIndex OutlineModel::indexOf(const File& file, int column) const {
    return createIndex(rowOf(file), column, const_cast<File*>(&file));
}

File* OutlineModel::fileAtPath(const std::string& relativePath) const {
    Directory* root = observedRootFile();
    return root != nullptr ? root->fileAtPath(relativePath) : nullptr;
}

bool OutlineModel::isListed(const Directory& directory) const {
    return listed_.contains(&directory);
}

QModelIndex OutlineModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= kColumns) return {};
    if (!parent.isValid()) {
        Directory* root = observedRootFile();
        if (root == nullptr) return {};
        if (row == 0) return createIndex(0, column, root);
        // The account's rows carry no node.
        return static_cast<std::size_t>(row) <= accountLines_.size()
                   ? createIndex(row, column, nullptr)
                   : QModelIndex();
    }
    const std::vector<File*>* rows = rowsOf(fileAt(parent));
    if (rows == nullptr || static_cast<std::size_t>(row) >= rows->size()) return {};
    return createIndex(row, column, (*rows)[static_cast<std::size_t>(row)]);
}

QModelIndex OutlineModel::parent(const QModelIndex& child) const {
    const File* file = fileAt(child);
    if (file == nullptr || file == observedRootFile()) return {};
    const auto place = places_.find(file);
    if (place == places_.end()) return {};
    return indexOf(*place->second.parent, name);
}

int OutlineModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return observedRootFile() != nullptr ? 1 + static_cast<int>(accountLines_.size()) : 0;
    if (parent.column() != 0) return 0;
    const std::vector<File*>* rows = rowsOf(fileAt(parent));
    return rows != nullptr ? static_cast<int>(rows->size()) : 0;
}

int OutlineModel::columnCount(const QModelIndex&) const {
    return kColumns;
}

bool OutlineModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return observedRootFile() != nullptr;
    if (parent.column() != 0 || fileAt(parent) == nullptr) return false;
    Directory* directory = fileAt(parent)->asDirectory();
    if (directory == nullptr) return false;
    if (controller_) controller_->loadPackageFlag(*directory);
    // A package shows as a leaf, except in a search result.
    return directory->count() > 0 && (!directory->hideContents() || filter_ != nullptr);
}

bool OutlineModel::canFetchMore(const QModelIndex& parent) const {
    if (!parent.isValid() || fileAt(parent) == nullptr) return false;
    const Directory* directory = fileAt(parent)->asDirectory();
    return directory != nullptr && !isListed(*directory) && directory->count() > 0;
}

void OutlineModel::fetchMore(const QModelIndex& parent) {
    Directory* directory = fileAt(parent) != nullptr ? fileAt(parent)->asDirectory() : nullptr;
    if (directory == nullptr || isListed(*directory)) return;
    if (changing_) {
        // Asked while a change is being told (a view fetching in its handler): rows are added
        // once the change has been told to everyone.
        QMetaObject::invokeMethod(
            this, [this, later = QPersistentModelIndex(parent)] { fetchMore(later); },
            Qt::QueuedConnection);
        return;
    }
    // Listed in the graph's order: sorted now, before the view knows any row.
    directory->sortContents(sizeMode_());
    const ChangeInProgress change(changing_);
    const auto contents = directory->contents();
    if (contents.empty()) {
        listed_.emplace(directory, std::vector<File*>());
        return;
    }
    beginInsertRows(parent, 0, static_cast<int>(contents.size()) - 1);
    const auto listed =
        listed_.emplace(directory, std::vector<File*>(contents.begin(), contents.end())).first;
    renumber(directory, listed->second, 0);
    endInsertRows();
}

QIcon OutlineModel::iconFor(const File& file) const {
    QStyle* style = QApplication::style();
    if (!controller_ || controller_->isSnapshot())
        return file.isDirectory() ? style->standardIcon(QStyle::SP_DirIcon)
                                  : style->standardIcon(QStyle::SP_FileIcon);
    // By type, looked up for the rows shown only, once per type.
    static const QMimeDatabase types;
    const QMimeType type =
        file.isDirectory()
            ? types.mimeTypeForName(QStringLiteral("inode/directory"))
            : types.mimeTypeForFile(toQString(file.path()), QMimeDatabase::MatchExtension);
    const QString key = type.name();
    if (const auto cached = iconsByType_.constFind(key); cached != iconsByType_.constEnd())
        return *cached;
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull())
        icon = style->standardIcon(file.isDirectory() ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    iconsByType_.insert(key, icon);
    return icon;
}

QVariant OutlineModel::data(const QModelIndex& index, int role) const {
    const File* file = fileAt(index);
    if (file == nullptr) {
        if (!index.isValid() || index.parent().isValid() || index.row() < 1 ||
            static_cast<std::size_t>(index.row()) > accountLines_.size())
            return {};
        return accountData(accountLines_[static_cast<std::size_t>(index.row()) - 1], index.column(),
                           role);
    }
    if (role == Qt::DecorationRole && index.column() == name) return iconFor(*file);
    if (role == Qt::TextAlignmentRole &&
        (index.column() == size || index.column() == allocatedSize))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::AccessibleDescriptionRole) return accessibleDescription(*file, index.column());
    if (file->isCountedElsewhere()) {
        // Another name of a file counted at one of its other names: its size columns say so.
        const bool sizeColumn = index.column() == size || index.column() == allocatedSize;
        if (role == Qt::FontRole && sizeColumn) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        if (role == Qt::DisplayRole && sizeColumn) return localizedQString("file.countedElsewhere");
        if (role == Qt::ToolTipRole) {
            const auto counting = controller_ ? controller_->countingNameOf(*file) : std::nullopt;
            return counting ? toQString(localizedFormat("file.countedElsewhere.at",
                                                        toDisplayString(*counting)))
                            : localizedQString("file.countedElsewhere.unknown");
        }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
    case name:
        if (file == observedRootFile() && controller_)
            return toQString(controller_->displayName(*file));
        return toQString(file->displayName());
    case size:
        return toQString(formatByteCount(file->size()));
    case allocatedSize:
        return toQString(formatByteCount(file->allocatedSize()));
    case creationDate:
        return toQString(formatMediumDateShortTime(file->creationDate()));
    case modificationDate:
        return toQString(formatMediumDateShortTime(file->modificationDate()));
    default:
        return {};
    }
}

std::optional<AccountPart> OutlineModel::accountPartAt(const QModelIndex& index) const {
    if (!index.isValid() || index.parent().isValid() || index.row() < 1 ||
        static_cast<std::size_t>(index.row()) > accountLines_.size())
        return std::nullopt;
    return accountLines_[static_cast<std::size_t>(index.row()) - 1].part;
}

QVariant OutlineModel::accountData(const AccountLine& line, int column, int role) const {
    // Set apart from the tree's rows: slanted, with the volume's icon, and their meaning in the
    // tool tip and for a screen reader.
    if (role == Qt::FontRole) {
        QFont font;
        font.setItalic(true);
        return font;
    }
    if (role == Qt::DecorationRole && column == name) {
        const auto icon = line.part == AccountPart::unreadable ? QStyle::SP_MessageBoxWarning
                          : line.part == AccountPart::excluded ? QStyle::SP_DialogDiscardButton
                                                               : QStyle::SP_DriveHDIcon;
        return QApplication::style()->standardIcon(icon);
    }
    if (role == Qt::TextAlignmentRole && (column == size || column == allocatedSize))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole || (role == Qt::AccessibleDescriptionRole && column == name))
        return toQString(std::string(accountPartMeaning(line.part)));
    if (role == Qt::AccessibleDescriptionRole)
        return headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    if (role != Qt::DisplayRole) return {};
    if (column == name) {
        std::string text(accountPartName(line.part));
        if (line.part == AccountPart::otherVolumes)
            text += " - " + localizedCountFormat("account.volumeCount", line.count);
        else if (line.count > 0)
            text += " - " + localizedCountFormat("account.entryCount", line.count);
        return toQString(text);
    }
    // Space, not contents: it is counted as what it takes on the disk.
    if (column == allocatedSize)
        return toQString(line.bytes ? formatByteCount(*line.bytes)
                                    : std::string(localizedText("account.unknownSize")));
    return {};
}

void OutlineModel::refreshAccount() {
    std::vector<AccountLine> lines;
    if (controller_ && !filter_ && controller_->loadedRootFile() != nullptr)
        if (const auto account = controller_->volumeAccount()) lines = accountLines(*account);
    setAccountLines(std::move(lines));
}

void OutlineModel::scheduleAccountRefresh() {
    // The tree changed on disk: the volume did too. Asked again once a burst has passed.
    if (accountRefreshPending_) return;
    accountRefreshPending_ = true;
    QTimer::singleShot(kAccountRefreshDelayMs, this, [this] {
        accountRefreshPending_ = false;
        refreshAccount();
    });
}

void OutlineModel::setAccountLines(std::vector<AccountLine> lines) {
    if (lines == accountLines_) return;
    const auto count = static_cast<int>(accountLines_.size());
    if (lines.size() == accountLines_.size()) {
        accountLines_ = std::move(lines);
        emit dataChanged(index(1, 0), index(count, kColumns - 1));
        return;
    }
    if (count > 0) {
        beginRemoveRows({}, 1, count);
        accountLines_.clear();
        endRemoveRows();
    }
    if (!lines.empty() && observedRootFile() != nullptr) {
        beginInsertRows({}, 1, static_cast<int>(lines.size()));
        accountLines_ = std::move(lines);
        endInsertRows();
    }
}

QString OutlineModel::accessibleDescription(const File& file, int column) const {
    // A screen reader reads a row's cells one by one: each says which column it is, and the
    // name's cell where the row stands in the tree.
    if (column != name) return headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    int level = 1;
    for (const File* above = file.parent(); above != nullptr && &file != observedRootFile();
         above = above->parent()) {
        ++level;
        if (above == observedRootFile()) break;
    }
    return toQString(localizedFormat(file.isDirectory() ? "outline.accessibility.folder"
                                                        : "outline.accessibility.file",
                                     std::to_string(level)));
}

QVariant OutlineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static constexpr std::array<std::string_view, kColumns> keys{
        "file.name", "file.size", "file.sizeAllocated", "file.creationDate",
        "file.modificationDate"};
    if (section < 0 || section >= kColumns) return {};
    return toQString(localizedText(keys[static_cast<std::size_t>(section)]));
}

// MARK: Following the tree

void OutlineModel::fileControllerDidLoadRootFile() {
    // A scan's tree replacing the picture of it that was listed: the folders opened in the
    // picture stay open in the tree.
    Directory* root = observedRootFile();
    for (const auto& [listed, rows] : listed_) {
        if (listed->parent() != nullptr || listed == root || root == nullptr) continue;
        std::vector<const Directory*> pending{listed->asDirectory()};
        while (!pending.empty()) {
            const Directory* folder = pending.back();
            pending.pop_back();
            if (!folder->expanded()) continue;
            if (File* same = root->fileAtPath(folder->relativePath()))
                if (Directory* opened = same->asDirectory()) opened->setExpanded(true);
            for (const File* child : folder->contents())
                if (const Directory* sub = child->asDirectory()) pending.push_back(sub);
        }
    }
    resetRows([] {});
    refreshAccount();
}

void OutlineModel::fileControllerDidInsert(Directory& parent, std::size_t index) {
    scheduleAccountRefresh();
    const ChangeInProgress change(changing_);
    if (!isListed(parent)) {
        // Its disclosure may appear.
        if (parent.count() == 1 && (parent.parent() == nullptr || isListed(*parent.parent())))
            emit dataChanged(indexOf(parent, 0), indexOf(parent, 0));
        return;
    }
    std::vector<File*>& rows = listed_[&parent];
    const int row = static_cast<int>(std::min(index, rows.size()));
    beginInsertRows(indexOf(parent, name), row, row);
    rows.insert(rows.begin() + row, parent.child(index));
    renumber(&parent, rows, static_cast<std::size_t>(row));
    endInsertRows();
}

void OutlineModel::fileControllerDidRemove(File& file, Directory& parent, std::size_t) {
    scheduleAccountRefresh();
    const ChangeInProgress change(changing_);
    takeRow(file, parent);
}

void OutlineModel::takeRow(File& file, Directory& parent) {
    const auto listed = listed_.find(&parent);
    if (listed == listed_.end()) {
        forget(file);
        return;
    }
    std::vector<File*>& rows = listed->second;
    const auto place = places_.find(&file);
    if (place == places_.end() || place->second.parent != &parent) return;
    const int row = place->second.row;
    beginRemoveRows(indexOf(parent, name), row, row);
    rows.erase(rows.begin() + row);
    forget(file);
    places_.erase(&file);
    renumber(&parent, rows, static_cast<std::size_t>(row));
    endRemoveRows();
}

void OutlineModel::moveRow(File& file, Directory& oldParent, Directory& newParent,
                           std::size_t newIndex) {
    const auto place = places_.find(&file);
    if (place == places_.end() || place->second.parent != &oldParent) return;
    std::vector<File*>& from = listed_[&oldParent];
    const int oldRow = place->second.row;
    std::vector<File*>& to = listed_[&newParent];
    const bool sameParent = &from == &to;
    const int newRow = static_cast<int>(std::min(newIndex, to.size() - (sameParent ? 1 : 0)));
    if (sameParent && oldRow == newRow) return;
    // Qt counts the destination before the row leaves.
    const int destination = sameParent && newRow > oldRow ? newRow + 1 : newRow;
    if (!beginMoveRows(indexOf(oldParent, name), oldRow, oldRow, indexOf(newParent, name),
                       destination))
        return;
    from.erase(from.begin() + oldRow);
    to.insert(to.begin() + newRow, &file);
    if (sameParent) {
        renumber(&newParent, to, static_cast<std::size_t>(std::min(oldRow, newRow)));
    } else {
        renumber(&oldParent, from, static_cast<std::size_t>(oldRow));
        renumber(&newParent, to, static_cast<std::size_t>(newRow));
    }
    endMoveRows();
}

void OutlineModel::fileControllerDidMove(Directory& oldParent, std::size_t, Directory& newParent,
                                         std::size_t newIndex) {
    const ChangeInProgress change(changing_);
    File& file = *newParent.child(newIndex);
    const bool wasListed = isListed(oldParent);
    const bool isNowListed = isListed(newParent);
    if (wasListed && isNowListed) {
        moveRow(file, oldParent, newParent, newIndex);
        emit dataChanged(indexOf(file, 0), indexOf(file, kColumns - 1));
    } else if (wasListed) {
        takeRow(file, oldParent);
    } else if (isNowListed) {
        fileControllerDidInsert(newParent, newIndex);
    } else {
        forget(file);
    }
}

void OutlineModel::fileControllerDidChangeOrder(File& file, std::ptrdiff_t,
                                                std::ptrdiff_t newIndex) {
    const ChangeInProgress change(changing_);
    Directory* parent = file.parent();
    if (parent == nullptr || !isListed(*parent)) return;
    moveRow(file, *parent, *parent, static_cast<std::size_t>(newIndex));
    emit dataChanged(indexOf(file, 0), indexOf(file, kColumns - 1));
}

void OutlineModel::fileControllerDidChange(File& file) {
    scheduleAccountRefresh();
    if (&file != observedRootFile() && !places_.contains(&file)) return; // no row of its own
    emit dataChanged(indexOf(file, 0), indexOf(file, kColumns - 1));
}

void OutlineModel::fileControllerDidClose() {
    resetRows([this] {
        if (controller_) controller_->removeObserver(*this);
        controller_.reset();
    });
}

void OutlineModel::resetRows(const std::function<void()>& change) {
    {
        const ChangeInProgress inProgress(changing_);
        beginResetModel();
        filtered_.reset();
        filter_.reset();
        listed_.clear();
        places_.clear();
        accountLines_.clear();
        change();
        endResetModel();
    }
    emit reloaded();
}

void OutlineModel::forget(const File& file) {
    // A folder that leaves the rows takes its listed folders along: their rows are gone too.
    std::vector<const File*> pending{&file};
    while (!pending.empty()) {
        const File* next = pending.back();
        pending.pop_back();
        const auto listed = listed_.find(next);
        if (listed == listed_.end()) continue;
        for (const File* child : listed->second) {
            places_.erase(child);
            if (child->isDirectory()) pending.push_back(child);
        }
        listed_.erase(listed);
    }
}

} // namespace tessera
