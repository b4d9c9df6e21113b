#include "statistics/TreeStatistics.h"

#include "model/Directory.h"

#include <algorithm>
#include <bit>
#include <ctime>
#include <map>
#include <unordered_map>

namespace tessera {
namespace {

// A file's size as the statistics count it: a count of files counts bytes.
std::int64_t countedSize(const File& file, SizeMode mode) {
    return file.size(mode == SizeMode::allocatedFileSize ? mode : SizeMode::fileSize);
}

// The bucket of `size`: 0 holds empty files, k holds [2^(k-1), 2^k).
int bucketOf(std::int64_t size) {
    return size <= 0 ? 0 : std::bit_width(static_cast<std::uint64_t>(size));
}

std::pair<int, int> monthOf(Date date) {
    const std::time_t seconds = static_cast<std::time_t>(date.seconds);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1};
}

std::int64_t monthStart(int year, int month) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = 1;
    return ::timegm(&parts);
}

} // namespace

std::string extensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    // A leading dot names a hidden file, not its type; long tails are no extensions.
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot - 1 > 12) return {};
    std::string extension(name.substr(dot + 1));
    std::ranges::transform(extension, extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::optional<TreeStatistics> computeStatistics(const Directory& folder, SizeMode sizeMode,
                                                const std::atomic<bool>& cancelled) {
    TreeStatistics statistics;
    struct TypeCount {
        TypeStatistics row;
        std::vector<std::pair<std::int64_t, const File*>> largest; // a min-heap
    };
    std::unordered_map<std::string, TypeCount> types;
    std::vector<SizeBucket> buckets(65);
    std::map<std::pair<int, int>, MonthStatistics> months;
    std::vector<std::int64_t> sizes;
    const auto smaller = [](const auto& a, const auto& b) { return a.first > b.first; };

    std::vector<const Directory*> pending{&folder};
    std::size_t visited = 0;
    while (!pending.empty()) {
        const Directory* current = pending.back();
        pending.pop_back();
        for (const File* child : current->contents()) {
            if (++visited % 4096 == 0 && cancelled.load(std::memory_order_relaxed))
                return std::nullopt;
            if (const Directory* sub = child->asDirectory()) {
                pending.push_back(sub);
                continue;
            }
            const std::int64_t size = countedSize(*child, sizeMode);
            ++statistics.files;
            statistics.size += size;
            sizes.push_back(size);
            TypeCount& type = types[extensionOf(child->path())];
            if (type.row.count == 0) type.row.category = categoryOf(*child);
            ++type.row.count;
            type.row.size += size;
            if (type.largest.size() < TreeStatistics::kLargest ||
                size > type.largest.front().first) {
                type.largest.emplace_back(size, child);
                std::ranges::push_heap(type.largest, smaller);
                if (type.largest.size() > TreeStatistics::kLargest)
                    std::ranges::pop_heap(type.largest, smaller), type.largest.pop_back();
            }
            SizeBucket& bucket = buckets[static_cast<std::size_t>(bucketOf(size))];
            ++bucket.count;
            bucket.size += size;
            const auto [year, month] = monthOf(child->modificationDate());
            MonthStatistics& row = months[{year, month}];
            row.year = year;
            row.month = month;
            ++row.count;
            row.size += size;
        }
    }

    const std::string base = folder.relativePath();
    for (auto& [extension, type] : types) {
        type.row.extension = extension;
        std::ranges::sort_heap(type.largest, smaller);
        for (const auto& [size, file] : type.largest) {
            std::string path = file->relativePath();
            if (!base.empty() && path.starts_with(base + '/')) path.erase(0, base.size() + 1);
            type.row.largest.push_back(std::move(path));
        }
        statistics.types.push_back(std::move(type.row));
    }
    std::ranges::sort(statistics.types, [](const TypeStatistics& a, const TypeStatistics& b) {
        return a.size != b.size ? a.size > b.size : a.extension < b.extension;
    });
    for (std::size_t k = 0; k < buckets.size(); ++k) {
        buckets[k].lower = k == 0 ? 0 : std::int64_t{1} << (k - 1);
        buckets[k].upper = k == 0 ? 1 : k >= 63 ? INT64_MAX : std::int64_t{1} << k;
    }
    const auto used = [](const SizeBucket& b) { return b.count > 0; };
    const auto first = std::ranges::find_if(buckets, used);
    const auto last = std::ranges::find_if(buckets.rbegin(), buckets.rend(), used).base();
    if (first < last) statistics.sizes.assign(first, last);
    if (!sizes.empty()) {
        std::ranges::sort(sizes);
        for (std::size_t i = 0; i < TreeStatistics::kPercentiles.size(); ++i) {
            // The nearest rank: the smallest size at or below which the share of files lies.
            const auto rank = static_cast<std::size_t>(
                (TreeStatistics::kPercentiles[i] * sizes.size() + 99) / 100);
            statistics.percentiles[i] = sizes[std::clamp<std::size_t>(rank, 1, sizes.size()) - 1];
        }
    }
    for (auto& [key, row] : months)
        statistics.months.push_back(row);
    return statistics;
}

StatisticsFilter StatisticsFilter::ofType(std::string extension) {
    StatisticsFilter filter;
    filter.kind_ = Kind::type;
    filter.extension_ = std::move(extension);
    return filter;
}

StatisticsFilter StatisticsFilter::ofSizes(const SizeBucket& bucket, SizeMode sizeMode) {
    StatisticsFilter filter;
    filter.kind_ = Kind::sizes;
    filter.lower_ = bucket.lower;
    filter.upper_ = bucket.upper;
    filter.sizeMode_ = sizeMode;
    return filter;
}

StatisticsFilter StatisticsFilter::ofMonth(int year, int month) {
    StatisticsFilter filter;
    filter.kind_ = Kind::month;
    filter.lower_ = monthStart(year, month);
    filter.upper_ = month == 12 ? monthStart(year + 1, 1) : monthStart(year, month + 1);
    return filter;
}

bool StatisticsFilter::evaluate(const File& file) const {
    if (file.isDirectory()) return false;
    switch (kind_) {
    case Kind::type:
        return extensionOf(file.path()) == extension_;
    case Kind::sizes: {
        const std::int64_t size = countedSize(file, sizeMode_);
        return size >= lower_ && size < upper_;
    }
    case Kind::month: {
        const std::int64_t seconds = file.modificationDate().seconds;
        return seconds >= lower_ && seconds < upper_;
    }
    }
    return false;
}

} // namespace tessera
