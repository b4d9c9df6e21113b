// The process's log of scans and unreadable entries, with the filtered view the log window
// shows. Main thread only; other threads post their lines to the main queue.
#pragma once

#include "logs/LogLine.h"

#include <atomic>
#include <string>
#include <vector>

namespace tessera {

class MainQueue;

/// The log window's side: told of rows inserted into and removed from the filtered lines.
class LogsControllerDelegate {
public:
    virtual ~LogsControllerDelegate() = default;
    virtual void logsDidInsert(std::size_t row) = 0;
    virtual void logsDidRemove(std::size_t firstRow, std::size_t count) = 0;
    virtual void logsDidReload() = 0;
};

class LogController {
public:
    enum class LogType { detailed, errors };
    struct Filter {
        std::string text;
        LogType logType = LogType::errors;
    };

    /// The process's one log.
    static LogController& shared();

    /// Lines of scans are made only while this is on (the log window shows the detailed view).
    static std::atomic<bool> detailedLogging;

    /// Lines older than this are pruned.
    static constexpr std::chrono::hours kMaxLogAge{1};
    static constexpr std::chrono::seconds kPruneInterval{60};

    void add(LogLine line);
    const std::vector<LogLine>& logs() const { return logs_; }
    const std::vector<LogLine>& filteredLogs() const { return filteredLogs_; }

    const Filter& filter() const { return filter_; }
    /// Recomputes the filtered lines and tells the delegate to reload.
    void setFilter(Filter filter);
    bool matches(const LogLine& line) const;

    /// Non-owning; the window clears it when it closes.
    void setDelegate(LogsControllerDelegate* delegate) { delegate_ = delegate; }

    /// Drops the leading run of lines older than an hour before `now`.
    void prune(LogLine::Clock::time_point now);
    /// Prunes every minute on `queue`, for the rest of the process.
    void startPruning(MainQueue& queue);

private:
    std::vector<LogLine> logs_;
    std::vector<LogLine> filteredLogs_;
    Filter filter_;
    LogsControllerDelegate* delegate_ = nullptr;
};

} // namespace tessera
