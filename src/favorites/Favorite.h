// The handle of every opened location: a folder or a whole volume, remembered by its bookmark,
// with its space figures, usage levels and an optional exclusion filter for its scans.
#pragma once

#include "favorites/Bookmark.h"
#include "favorites/Predicate.h"
#include "model/Callbacks.h"
#include "platform/Volumes.h"

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>

namespace tessera {

class Favorite;
class JsonWriter;

/// What a favourite needs of the controller that shows it (the file controller implements it).
class FavoriteController {
public:
    virtual ~FavoriteController() = default;
    /// The favourite that holds this controller, or none once it lets go.
    virtual void setFavorite(Favorite* favorite) = 0;
    /// Starts scanning the favourite's location.
    virtual void startScan() = 0;
    /// Stops watching and cancels everything queued.
    virtual void detach() = 0;
    /// The size of the scanned tree's root, none before the first scan finished.
    virtual std::optional<std::int64_t> rootSize() const = 0;
};

class Favorite {
public:
    static constexpr double kWarningLevel = 0.6;
    static constexpr double kCriticalLevel = 0.8;

    /// A favourite of `path`: makes the bookmark, then resolves.
    Favorite(const std::string& path, bool isFavorite);

    /// The stored form as it appears in the settings file.
    struct Stored {
        std::optional<std::string> bookmarkData; // the bookmark's bytes
        bool isFilterPredicateEnabled = false;
        std::optional<std::string> filterPredicate; // the predicate's text form
        bool countsHardLinksOnce = false;
    };
    /// A favourite read back from its stored form (always a kept favourite). Fails when the
    /// stored predicate or bookmark does not parse.
    [[nodiscard]] static std::expected<std::unique_ptr<Favorite>, std::string>
    decode(const Stored& stored);
    Stored stored() const;
    /// Writes the stored form as a JSON object with sorted keys.
    void encode(JsonWriter& writer) const { encode(stored(), writer); }
    static void encode(const Stored& stored, JsonWriter& writer);

    const std::optional<Bookmark>& bookmark() const { return bookmark_; }
    bool isFavorite() const { return isFavorite_; }
    void setIsFavorite(bool kept) { isFavorite_ = kept; }
    /// The resolved location; none while it cannot be resolved.
    const std::optional<std::string>& url() const { return url_; }
    bool enabled() const { return url_.has_value(); }
    bool isVolume() const { return isVolume_; }
    const std::string& name() const { return name_; }
    void setName(std::string name);

    std::int64_t size() const { return size_; }
    std::int64_t warningSize() const { return warningSize_; }
    std::int64_t criticalSize() const { return criticalSize_; }
    std::optional<std::int64_t> totalSize() const { return totalSize_; }
    std::int64_t freeSize() const { return freeSize_; }
    /// A volume's blocks kept back for root: counted in neither size() nor totalSize().
    std::int64_t reservedSize() const { return reservedSize_; }

    enum class UsageLevel { normal, warning, critical };
    /// The colour of the usage bar: critical at or above criticalSize, warning at or above
    /// warningSize.
    UsageLevel usageLevel() const;

    bool isFilterPredicateEnabled() const { return isFilterPredicateEnabled_; }
    void setFilterPredicateEnabled(bool enabled);
    const std::shared_ptr<const Predicate>& filterPredicate() const { return filterPredicate_; }
    void setFilterPredicate(std::shared_ptr<const Predicate> predicate);
    /// What a scan honours: the predicate while the filter is on, else null.
    std::shared_ptr<const Predicate> activeExclusion() const;
    /// Adds a rule that leaves out exactly `path` (an absolute path) to the exclusion filter,
    /// making one if there is none, and switches the filter on. True when that also woke rules
    /// that were off (the filter had them but was switched off): then more than `path` changed.
    bool addExcludedPath(const std::string& path);

    /// A file with several names in the tree counts once, at its first name in the graph's order,
    /// rather than at every name (the default, as the file system lists them).
    bool countsHardLinksOnce() const { return countsHardLinksOnce_; }
    void setCountsHardLinksOnce(bool once);

    FavoriteController* fileController() const { return fileController_.get(); }
    const std::shared_ptr<FavoriteController>& sharedFileController() const {
        return fileController_;
    }
    /// Attaching a controller starts its scan; replacing or clearing one detaches the old one.
    /// The sizes are updated afterwards.
    void setFileController(std::shared_ptr<FavoriteController> controller);

    /// Called whenever the name, the availability, the sizes, the counting of hard links or the
    /// controller change.
    Callbacks<Favorite&>& changed() { return changed_; }

    /// Re-resolves the bookmark when the location is gone, then updates state and sizes.
    void resolve();
    void updateSizes();

private:
    Favorite() = default;
    void setVolumeSpace(const platform::VolumeSpace& space);

    std::optional<Bookmark> bookmark_;
    bool isFavorite_ = false;
    std::optional<std::string> url_;
    std::shared_ptr<FavoriteController> fileController_;
    bool isVolume_ = false;
    std::string name_;
    std::int64_t size_ = 0;
    std::int64_t warningSize_ = 0;
    std::int64_t criticalSize_ = 0;
    std::optional<std::int64_t> totalSize_;
    std::int64_t freeSize_ = 0;
    std::int64_t reservedSize_ = 0;
    bool isFilterPredicateEnabled_ = false;
    std::shared_ptr<const Predicate> filterPredicate_;
    bool countsHardLinksOnce_ = false;
    Callbacks<Favorite&> changed_;
};

} // namespace tessera
