// The ordered list of favourites and the settings file that keeps it: loaded once, saved after
// every change, named uniquely, and re-resolved when volumes come, go or move. Locations the
// user merely opened are in the list too, but only the kept ones are saved. Main thread.
#pragma once

#include "favorites/Favorite.h"
#include "model/Callbacks.h"
#include "platform/MountWatcher.h"
#include "settings/Settings.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tessera {

class MainQueue;

class FavoriteManager {
public:
    /// `build` is the version written into a settings file this manager creates.
    FavoriteManager(std::string settingsPath, int build);
    ~FavoriteManager();
    FavoriteManager(const FavoriteManager&) = delete;
    FavoriteManager& operator=(const FavoriteManager&) = delete;

    /// The view settings every graph shares, and the favourites as last saved.
    Settings& settings() { return settings_; }
    const std::string& settingsPath() const { return settingsPath_; }

    /// Reads the settings file, once: its favourites become the list. When there was no file
    /// yet, `offeredAtFirstStart` become kept favourites, so the list starts useful. A file that
    /// cannot be used is kept aside (loadProblem() says why) and the defaults are used.
    void load(const std::vector<std::string>& offeredAtFirstStart = {});
    const std::string& loadProblem() const { return loadProblem_; }
    /// What load() left out of a file that was otherwise used (a value of the wrong kind, a
    /// favourite's filter or bookmark that cannot be read); empty when nothing was.
    const std::vector<std::string>& loadRepairs() const { return loadRepairs_; }
    /// Where load() kept the file as it was, when it was unusable or repaired.
    const std::string& keptAs() const { return keptAs_; }

    /// Writes the settings with the kept favourites (those with a bookmark). A failure is
    /// logged; what is in memory stays.
    void save();

    /// The favourite of `path`: its index and true when one with that location is listed,
    /// else a new one appended (then the names are updated and the list saved).
    std::pair<std::size_t, bool> add(const std::string& path, bool isFavorite);
    /// Moves the favourites at `fromOffsets`, in their order, to `toOffset` as counted before
    /// the move, then saves.
    void move(std::vector<std::size_t> fromOffsets, std::size_t toOffset);
    /// Takes a favourite off the list (a window showing it keeps it), then saves.
    void remove(std::size_t index);
    /// Marks an opened location as kept, then saves.
    void keep(std::size_t index);

    std::size_t count() const { return favorites_.size(); }
    const std::shared_ptr<Favorite>& at(std::size_t index) const { return favorites_.at(index); }
    /// The index of `favorite`, or count() when it is not listed.
    std::size_t indexOf(const Favorite& favorite) const;

    /// Gives every favourite its unique display name, or its unavailable name.
    void updateNames();
    /// Reads every favourite's space figures again.
    void refreshSizes();

    void volumeDidMount(const std::string& path);
    void volumeDidRename(const std::string& oldPath);
    void volumeDidUnmount(const std::string& path);
    void handle(const std::vector<platform::VolumeEvent>& events);
    /// Watches the mount table and handles its events on `queue`. False when it cannot.
    bool startWatchingVolumes(MainQueue& queue);

    /// How the list changed, told after the change.
    struct ListChange {
        enum class Kind {
            reloaded, // the whole list read anew
            inserted, // `count` rows at `first`
            removed,  // `count` rows at `first`
            kept,     // the row at `first` became a kept favourite
            moved     // each row went from its old position i to `newRows[i]`
        };
        Kind kind = Kind::reloaded;
        std::size_t first = 0;
        std::size_t count = 0;
        std::vector<std::size_t> newRows = {};
    };
    Callbacks<const ListChange&>& listChanged() { return listChanged_; }

private:
    /// Re-resolves the favourites that `matches` selects, then renames all.
    template <typename Match> void reresolve(const Match& matches);

    std::string settingsPath_;
    Settings settings_;
    std::vector<std::shared_ptr<Favorite>> favorites_;
    bool loaded_ = false;
    std::string loadProblem_;
    std::vector<std::string> loadRepairs_;
    std::string keptAs_;
    Callbacks<const ListChange&> listChanged_;
    std::unique_ptr<platform::MountWatcher> volumeWatcher_;
    std::shared_ptr<FavoriteManager*> self_; // lets queued volume events find out it is gone
};

/// The name an unavailable favourite shows: its location's name in quotes with the
/// "favorite.unavailable.detail" text, or "favorite.unavailable.general" without a bookmark.
std::string unavailableName(const Favorite& favorite);

} // namespace tessera
