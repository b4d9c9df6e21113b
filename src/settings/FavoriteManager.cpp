#include "settings/FavoriteManager.h"

#include "base/Paths.h"
#include "favorites/UniqueNames.h"
#include "logs/Logger.h"
#include "model/Localization.h"
#include "platform/MainQueue.h"

#include <algorithm>
#include <set>

namespace tessera {
namespace {

bool atOrInside(const std::string& path, const std::string& volume) {
    const PathRelation relation = relatePaths(path, volume);
    return relation == PathRelation::equal || relation == PathRelation::firstInsideSecond;
}

} // namespace

std::string unavailableName(const Favorite& favorite) {
    if (!favorite.bookmark()) return std::string(localizedText("favorite.unavailable.general"));
    const std::string& path = favorite.bookmark()->path;
    const std::string_view name = path == "/" ? std::string_view(path) : lastComponent(path);
    return localizedFormat("favorite.unavailable.detail", "\u201c" + std::string(name) + "\u201d");
}

FavoriteManager::FavoriteManager(std::string settingsPath, int build)
    : settingsPath_(std::move(settingsPath)), self_(std::make_shared<FavoriteManager*>(this)) {
    settings_.version = build;
}

FavoriteManager::~FavoriteManager() {
    volumeWatcher_.reset();
    *self_ = nullptr;
}

void FavoriteManager::load(const std::vector<std::string>& offeredAtFirstStart) {
    if (loaded_ || !favorites_.empty()) return;
    loaded_ = true;
    const int build = settings_.version;
    LoadedSettings loaded = loadSettings(settingsPath_, build);
    loadProblem_ = loaded.problem;
    loadRepairs_ = std::move(loaded.repairs);
    keptAs_ = loaded.keptAs;
    settings_ = std::move(loaded.settings);
    for (const Favorite::Stored& stored : settings_.favorites) {
        auto favorite = Favorite::decode(stored);
        if (favorite) {
            favorites_.push_back(std::move(*favorite));
        } else {
            loadRepairs_.push_back("a favourite was left out: " + favorite.error());
            Logger::log(0,
                        "A favourite in " + settingsPath_ + " was left out: " + favorite.error());
        }
    }
    if (loaded.firstStart) {
        for (const std::string& path : offeredAtFirstStart) {
            auto favorite = std::make_shared<Favorite>(path, true);
            const bool listed = std::ranges::any_of(
                favorites_, [&](const auto& other) { return other->url() == favorite->url(); });
            if (favorite->enabled() && !listed) favorites_.push_back(std::move(favorite));
        }
    }
    updateNames();
    listChanged_({});
}

void FavoriteManager::save() {
    settings_.favorites.clear();
    for (const auto& favorite : favorites_)
        if (favorite->isFavorite() && favorite->bookmark())
            settings_.favorites.push_back(favorite->stored());
    if (auto saved = saveSettings(settings_, settingsPath_); !saved) Logger::log(0, saved.error());
}

std::size_t FavoriteManager::indexOf(const Favorite& favorite) const {
    const auto found =
        std::ranges::find_if(favorites_, [&](const std::shared_ptr<Favorite>& listed) {
            return listed.get() == &favorite;
        });
    return static_cast<std::size_t>(found - favorites_.begin());
}

std::pair<std::size_t, bool> FavoriteManager::add(const std::string& path, bool isFavorite) {
    for (std::size_t i = 0; i < favorites_.size(); ++i)
        if (favorites_[i]->url() == path) return {i, true};
    favorites_.push_back(std::make_shared<Favorite>(path, isFavorite));
    updateNames();
    save();
    listChanged_({.kind = ListChange::Kind::inserted, .first = favorites_.size() - 1, .count = 1});
    return {favorites_.size() - 1, false};
}

void FavoriteManager::move(std::vector<std::size_t> fromOffsets, std::size_t toOffset) {
    std::ranges::sort(fromOffsets);
    const auto [first, last] = std::ranges::unique(fromOffsets);
    fromOffsets.erase(first, last);
    std::erase_if(fromOffsets, [this](std::size_t i) { return i >= favorites_.size(); });
    toOffset = std::min(toOffset, favorites_.size());
    // The old positions in their new order.
    std::vector<std::size_t> moved, rest;
    std::size_t insertAt = toOffset;
    for (std::size_t i = 0; i < favorites_.size(); ++i) {
        if (std::ranges::binary_search(fromOffsets, i)) {
            moved.push_back(i);
            if (i < toOffset) --insertAt;
        } else {
            rest.push_back(i);
        }
    }
    rest.insert(rest.begin() + static_cast<std::ptrdiff_t>(insertAt), moved.begin(), moved.end());
    ListChange change{.kind = ListChange::Kind::moved, .count = favorites_.size()};
    change.newRows.resize(favorites_.size());
    std::vector<std::shared_ptr<Favorite>> reordered;
    for (std::size_t row = 0; row < rest.size(); ++row) {
        change.newRows[rest[row]] = row;
        reordered.push_back(favorites_[rest[row]]);
    }
    favorites_ = std::move(reordered);
    save();
    listChanged_(change);
}

void FavoriteManager::remove(std::size_t index) {
    if (index >= favorites_.size()) return;
    favorites_.erase(favorites_.begin() + static_cast<std::ptrdiff_t>(index));
    updateNames();
    save();
    listChanged_({.kind = ListChange::Kind::removed, .first = index, .count = 1});
}

void FavoriteManager::keep(std::size_t index) {
    if (index >= favorites_.size() || favorites_[index]->isFavorite()) return;
    favorites_[index]->setIsFavorite(true);
    save();
    listChanged_({.kind = ListChange::Kind::kept, .first = index, .count = 1});
}

void FavoriteManager::updateNames() {
    std::vector<UniqueNameInput> inputs;
    std::vector<Favorite*> named;
    const auto mounts = platform::readMounts();
    for (const auto& favorite : favorites_) {
        if (!favorite->url()) {
            favorite->setName(unavailableName(*favorite));
            continue;
        }
        inputs.push_back({displayComponents(*favorite->url(), mounts), *favorite->url()});
        named.push_back(favorite.get());
    }
    const std::vector<std::string> names = uniqueDisplayNames(inputs);
    for (std::size_t i = 0; i < named.size(); ++i)
        named[i]->setName(names[i]);
}

void FavoriteManager::refreshSizes() {
    for (const auto& favorite : favorites_)
        favorite->updateSizes();
}

template <typename Match> void FavoriteManager::reresolve(const Match& matches) {
    // A favourite's change handlers may open or close windows; hold the list as it is.
    const auto favorites = favorites_;
    for (const auto& favorite : favorites)
        if (matches(*favorite)) favorite->resolve();
    updateNames();
}

void FavoriteManager::volumeDidMount(const std::string& path) {
    Logger::log(2, "Volume did mount: " + path);
    reresolve([](const Favorite& favorite) { return !favorite.url(); });
}

void FavoriteManager::volumeDidRename(const std::string& oldPath) {
    Logger::log(2, "Volume did rename: " + oldPath);
    reresolve([&](const Favorite& favorite) {
        return favorite.url() && atOrInside(*favorite.url(), oldPath);
    });
}

void FavoriteManager::volumeDidUnmount(const std::string& path) {
    Logger::log(2, "Volume did unmount: " + path);
    reresolve([&](const Favorite& favorite) {
        return favorite.url() && atOrInside(*favorite.url(), path);
    });
}

void FavoriteManager::handle(const std::vector<platform::VolumeEvent>& events) {
    for (const platform::VolumeEvent& event : events) {
        switch (event.kind) {
        case platform::VolumeEvent::Kind::mounted:
            volumeDidMount(event.path);
            break;
        case platform::VolumeEvent::Kind::unmounted:
            volumeDidUnmount(event.path);
            break;
        case platform::VolumeEvent::Kind::renamed:
            volumeDidRename(event.oldPath);
            break;
        }
    }
}

bool FavoriteManager::startWatchingVolumes(MainQueue& queue) {
    if (volumeWatcher_) return volumeWatcher_->isWatching();
    std::weak_ptr<FavoriteManager*> self = self_;
    volumeWatcher_ = std::make_unique<platform::MountWatcher>(
        [self, &queue](std::vector<platform::VolumeEvent> events) {
            queue.post([self, events = std::move(events)] {
                if (const auto manager = self.lock(); manager && *manager)
                    (*manager)->handle(events);
            });
        });
    if (!volumeWatcher_->isWatching())
        Logger::log(0, "Volumes cannot be watched: favourites on disks mounted later stay "
                       "unavailable until the next start");
    return volumeWatcher_->isWatching();
}

} // namespace tessera
