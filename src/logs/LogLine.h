// One line of the in-memory log: a detail of a scan, or an entry that could not be read.
#pragma once

#include "base/Date.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tessera {

class LogLine {
public:
    using Clock = std::chrono::system_clock;

    /// The error behind an error line, as the operating system describes it.
    struct Error {
        std::string localizedDescription;
        std::string domain;
        int code = 0;

        /// An error number in the POSIX domain, described by strerror.
        static Error posix(int errorNumber);
        friend bool operator==(const Error&, const Error&) = default;
    };

    enum class ScanLogType { scanStart, scanFile, scanFinish, exclude };
    struct Scan {
        ScanLogType type;
        std::string path;
        Date creationDate;              // scanFile only
        Date modificationDate;          // scanFile only
        std::int64_t size = 0;          // scanFile only
        std::int64_t allocatedSize = 0; // scanFile only
    };
    /// An entry of a scan that was unreadable.
    struct ScanError {
        std::string path;
        std::optional<Error> error;
    };
    using LogType = std::variant<Scan, ScanError>;

    LogLine(Clock::time_point date, LogType type) : date_(date), logType_(std::move(type)) {}

    static LogLine scanStart(std::string path);
    static LogLine scanFinish(std::string path);
    static LogLine exclude(std::string path);
    static LogLine scanFile(std::string path, Date creationDate, Date modificationDate,
                            std::int64_t size, std::int64_t allocatedSize);
    static LogLine scanError(std::string path, std::optional<Error> error);
    /// The domain of the errors of following a tree live (inotify's).
    static constexpr std::string_view kWatchDomain = "inotify";
    /// The domain of the settings file's problems: a value or favourite left out.
    static constexpr std::string_view kSettingsDomain = "settings";
    /// A folder whose changes are not (all) followed live, for the reason `error` gives (its
    /// domain is kWatchDomain).
    static LogLine watchError(std::string path, Error error);
    /// Something the settings file at `path` held that could not be used.
    static LogLine settingsError(std::string path, std::string what);

    Clock::time_point date() const { return date_; }
    const LogType& logType() const { return logType_; }
    bool isError() const { return std::holds_alternative<ScanError>(logType_); }
    /// An error of following the tree live, not of reading an entry.
    bool isWatchError() const;
    /// The path the line is about.
    const std::string& path() const;

    /// A text with "%@" standing for the path, and the path as its one argument.
    struct Text {
        std::string format;
        std::vector<std::string> arguments;
        /// The format with its placeholders replaced, in order.
        std::string formatted() const;
    };
    /// The short text of the list.
    Text title() const;
    /// The full text of the detail view, which the text filter searches.
    Text message() const;
    /// The line's type in a plain textual form, for diagnostics.
    std::string describe() const;

private:
    /// The localised title of an error line.
    const char* errorTitleKey() const;

    Clock::time_point date_;
    LogType logType_;
};

} // namespace tessera
