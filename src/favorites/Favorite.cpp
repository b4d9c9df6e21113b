#include "favorites/Favorite.h"

#include "favorites/PredicateText.h"
#include "model/Base64.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

#include "json/JsonWriter.h"
#include <tuple>

namespace tessera {

Favorite::Favorite(const std::string& path, bool isFavorite)
    : bookmark_(Bookmark::make(path)), isFavorite_(isFavorite) {
    resolve();
}

std::expected<std::unique_ptr<Favorite>, std::string> Favorite::decode(const Stored& stored) {
    std::unique_ptr<Favorite> favorite(new Favorite());
    favorite->isFavorite_ = true;
    if (stored.bookmarkData) {
        auto bookmark = Bookmark::fromBytes(*stored.bookmarkData);
        if (!bookmark) return std::unexpected("bookmarkData: " + bookmark.error());
        favorite->bookmark_ = std::move(*bookmark);
    }
    favorite->isFilterPredicateEnabled_ = stored.isFilterPredicateEnabled;
    favorite->countsHardLinksOnce_ = stored.countsHardLinksOnce;
    if (stored.filterPredicate) {
        auto predicate = parsePredicate(*stored.filterPredicate);
        if (!predicate) return std::unexpected("filterPredicate: " + predicate.error());
        favorite->filterPredicate_ = std::make_shared<const Predicate>(std::move(*predicate));
    }
    favorite->resolve();
    return favorite;
}

Favorite::Stored Favorite::stored() const {
    Stored stored;
    if (bookmark_) stored.bookmarkData = bookmark_->bytes();
    stored.isFilterPredicateEnabled = isFilterPredicateEnabled_;
    if (filterPredicate_) stored.filterPredicate = formatPredicate(*filterPredicate_);
    stored.countsHardLinksOnce = countsHardLinksOnce_;
    return stored;
}

void Favorite::encode(const Stored& form, JsonWriter& writer) {
    writer.beginObject();
    writer.key("bookmarkData");
    if (form.bookmarkData)
        writer.string(encodeBase64(*form.bookmarkData));
    else
        writer.null();
    // Written only when on, so that favourites that never used it are stored as before.
    if (form.countsHardLinksOnce) {
        writer.key("countsHardLinksOnce");
        writer.boolean(true);
    }
    if (form.filterPredicate) {
        writer.key("filterPredicate");
        writer.string(*form.filterPredicate);
    }
    writer.key("isFilterPredicateEnabled");
    writer.boolean(form.isFilterPredicateEnabled);
    writer.endObject();
}

void Favorite::setName(std::string name) {
    if (name == name_) return;
    name_ = std::move(name);
    changed_(*this);
}

void Favorite::setCountsHardLinksOnce(bool once) {
    if (once == countsHardLinksOnce_) return;
    countsHardLinksOnce_ = once;
    changed_(*this);
}

Favorite::UsageLevel Favorite::usageLevel() const {
    if (size_ >= criticalSize_ && criticalSize_ > 0) return UsageLevel::critical;
    if (size_ >= warningSize_ && warningSize_ > 0) return UsageLevel::warning;
    return UsageLevel::normal;
}

void Favorite::setFilterPredicateEnabled(bool enabled) {
    isFilterPredicateEnabled_ = enabled;
    // Switching the filter on for the first time starts from the default predicate; one the
    // user already made is kept.
    if (enabled && !filterPredicate_)
        filterPredicate_ = std::make_shared<const Predicate>(Predicate::defaultExclusion());
}

void Favorite::setFilterPredicate(std::shared_ptr<const Predicate> predicate) {
    filterPredicate_ = std::move(predicate);
}

std::shared_ptr<const Predicate> Favorite::activeExclusion() const {
    return isFilterPredicateEnabled_ ? filterPredicate_ : nullptr;
}

bool Favorite::addExcludedPath(const std::string& path) {
    std::vector<Predicate> rules;
    bool wokeOthers = false;
    if (filterPredicate_) {
        if (filterPredicate_->isCompound() &&
            filterPredicate_->compoundType() == Predicate::CompoundType::orType)
            rules = filterPredicate_->subpredicates();
        else
            rules.push_back(*filterPredicate_);
        wokeOthers =
            !isFilterPredicateEnabled_ && !(*filterPredicate_ == Predicate::defaultExclusion());
    }
    // The untouched default rule (a path containing nothing) leaves nothing out: the new rule
    // takes its place.
    std::erase(rules, Predicate::defaultExclusion().subpredicates().front());
    // Always valid: a path compared for equality.
    rules.push_back(*Predicate::comparison("path", Predicate::Operator::equalTo, path));
    filterPredicate_ = std::make_shared<const Predicate>(
        *Predicate::compound(Predicate::CompoundType::orType, std::move(rules)));
    isFilterPredicateEnabled_ = true;
    return wokeOthers;
}

void Favorite::setFileController(std::shared_ptr<FavoriteController> controller) {
    if (fileController_ && fileController_ != controller) {
        fileController_->detach();
        fileController_->setFavorite(nullptr);
    }
    fileController_ = std::move(controller);
    if (fileController_) {
        fileController_->setFavorite(this);
        fileController_->startScan();
    }
    updateSizes();
    changed_(*this);
}

void Favorite::resolve() {
    const bool wasEnabled = enabled();
    const auto reachable = [this](const std::string& path) {
        return platform::entryExists(path) && (!bookmark_ || bookmark_->isOnItsVolume(path));
    };
    if ((!url_ || !reachable(*url_)) && bookmark_) url_ = bookmark_->resolve();
    if (url_ && !reachable(*url_)) url_.reset();
    if (url_) {
        const auto mounts = platform::readMounts();
        const auto mount = platform::mountContaining(*url_, mounts);
        isVolume_ = mount && mount->mountPoint == *url_;
    } else {
        if (fileController_) setFileController(nullptr);
        isVolume_ = false;
    }
    updateSizes();
    if (enabled() != wasEnabled) changed_(*this);
}

void Favorite::updateSizes() {
    const auto before = std::tuple(size_, totalSize_, freeSize_, reservedSize_);
    if (!isVolume_) {
        totalSize_ = fileController_ ? fileController_->rootSize() : std::nullopt;
    } else if (const auto space = url_ ? platform::spaceOf(*url_) : std::nullopt) {
        setVolumeSpace(*space);
    }
    if (std::tuple(size_, totalSize_, freeSize_, reservedSize_) != before) changed_(*this);
}

void Favorite::setVolumeSpace(const platform::VolumeSpace& space) {
    // As df reads a volume: what is in use out of what users can fill, the blocks kept back for
    // root counted as neither (on a large disk they can be a twentieth of it or more).
    size_ = space.used();
    freeSize_ = space.available;
    reservedSize_ = space.reserved();
    totalSize_ = size_ + space.available;
    warningSize_ = static_cast<std::int64_t>(static_cast<double>(*totalSize_) * kWarningLevel);
    criticalSize_ = static_cast<std::int64_t>(static_cast<double>(*totalSize_) * kCriticalLevel);
}

} // namespace tessera
