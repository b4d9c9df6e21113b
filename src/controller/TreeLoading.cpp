#include "controller/TreeLoading.h"

#include "model/Localization.h"
#include "platform/FileSystem.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"
#include "snapshot/Snapshot.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace tessera {

std::string TreeLoadError::message() const {
    switch (kind) {
    case Kind::missing:
        return localizedFormat("open.error.missing", path) + " " + reason;
    case Kind::notOpenable:
        return localizedFormat("open.error.neither", path);
    case Kind::unreadableFolder:
        return localizedFormat("open.error.folder", path) + "\n" + reason;
    case Kind::unreadableSnapshot:
        return localizedFormat("open.error.snapshot", path) + "\n" + reason;
    case Kind::cancelled:
        return std::string(Snapshot::kCancelled);
    }
    return localizedFormat("open.error.neither", path);
}

std::expected<platform::Location, TreeLoadError> openableLocation(const std::string& path,
                                                                  Pipes pipes) {
    platform::Location location = platform::classifyLocation(path);
    switch (location.kind) {
    case platform::Location::Kind::folder:
    case platform::Location::Kind::regularFile:
        return location;
    case platform::Location::Kind::pipe:
        if (pipes == Pipes::read) return location;
        break;
    case platform::Location::Kind::other:
        break;
    case platform::Location::Kind::missing:
        return std::unexpected(
            TreeLoadError{TreeLoadError::Kind::missing, path, std::strerror(location.error)});
    }
    return std::unexpected(TreeLoadError{TreeLoadError::Kind::notOpenable, path, {}});
}

std::expected<LoadedTree, TreeLoadError> loadTree(const std::string& path, Pipes pipes,
                                                  const FolderScan& scan, ReadProgress* progress) {
    auto location = openableLocation(path, pipes);
    if (!location) return std::unexpected(std::move(location.error()));
    LoadedTree loaded;
    loaded.path = location->path;
    loaded.isFolder = location->kind == platform::Location::Kind::folder;
    if (loaded.isFolder) {
        if (scan) {
            loaded.root = scan(loaded.path);
        } else {
            ScanOperation operation(loaded.path, nullptr, false, {}, MainQueue::shared());
            loaded.root = operation.scan();
        }
        loaded.date = Date::fromUnixSeconds(std::time(nullptr));
        if (!loaded.root) {
            const bool gone = !platform::statusOfPath(loaded.path).has_value();
            return std::unexpected(TreeLoadError{TreeLoadError::Kind::unreadableFolder, path,
                                                 std::strerror(gone ? ENOENT : EACCES)});
        }
        return loaded;
    }
    auto root = Snapshot::loadRootFromFile(loaded.path, nullptr, progress);
    if (!root && progress != nullptr && progress->cancelled.load())
        return std::unexpected(TreeLoadError{TreeLoadError::Kind::cancelled, path, {}});
    if (!root)
        return std::unexpected(TreeLoadError{TreeLoadError::Kind::unreadableSnapshot, path,
                                             std::move(root.error().description)});
    loaded.root = std::move(*root);
    if (const auto status = platform::statusOfPath(loaded.path))
        loaded.date = status->modificationDate;
    return loaded;
}

} // namespace tessera
