// Statistics of the files under a folder, as the statistics window shows them: by type (the
// name's extension, with its category), by size (a histogram of powers of two, with
// percentiles) and by age (the month of the last change). Folders are not counted, only what
// they hold. Each row's files can be found again with its filter.
#pragma once

#include "model/FileEnums.h"
#include "model/FilePredicate.h"
#include "model/FileTypes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessera {

class Directory;

struct TypeStatistics {
    std::string extension; // lower case, without the dot; empty for names without one
    FileCategory category = FileCategory::other;
    std::int64_t count = 0;
    std::int64_t size = 0;
    /// The largest files of the type, largest first (at most kLargest), below the folder.
    std::vector<std::string> largest;
};

struct SizeBucket {
    std::int64_t lower = 0; // the files of at least `lower` bytes
    std::int64_t upper = 0; // and less than `upper`
    std::int64_t count = 0;
    std::int64_t size = 0;
};

struct MonthStatistics {
    int year = 0;
    int month = 0; // 1 to 12
    std::int64_t count = 0;
    std::int64_t size = 0;
};

struct TreeStatistics {
    static constexpr std::size_t kLargest = 5;
    /// The percentiles of the files' sizes that `percentiles` holds.
    static constexpr std::array<int, 5> kPercentiles{10, 50, 90, 99, 100};

    std::int64_t files = 0;
    std::int64_t size = 0;
    std::vector<TypeStatistics> types; // the largest total first
    std::vector<SizeBucket> sizes;     // smallest first, from the first bucket used to the last
    std::array<std::int64_t, 5> percentiles{};
    std::vector<MonthStatistics> months; // oldest first
};

/// Counts the files under `folder` in `sizeMode` (bytes or allocated bytes; a count of files
/// counts bytes). None when `cancelled` turned true meanwhile.
std::optional<TreeStatistics> computeStatistics(const Directory& folder, SizeMode sizeMode,
                                                const std::atomic<bool>& cancelled);

/// The extension `computeStatistics` files a name under.
std::string extensionOf(std::string_view name);

/// The files (never folders) of one row of the statistics.
class StatisticsFilter final : public FilePredicate {
public:
    static StatisticsFilter ofType(std::string extension);
    static StatisticsFilter ofSizes(const SizeBucket& bucket, SizeMode sizeMode);
    static StatisticsFilter ofMonth(int year, int month);
    bool evaluate(const File& file) const override;

private:
    enum class Kind { type, sizes, month } kind_ = Kind::type;
    std::string extension_;
    std::int64_t lower_ = 0;
    std::int64_t upper_ = 0; // sizes, or Unix seconds of the month
    SizeMode sizeMode_ = SizeMode::fileSize;
};

} // namespace tessera
