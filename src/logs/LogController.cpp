#include "logs/LogController.h"

#include "logs/Logger.h"
#include "model/TextFolding.h"
#include "platform/MainQueue.h"

#include <algorithm>

namespace tessera {
namespace {

std::size_t expiredCount(const std::vector<LogLine>& lines, LogLine::Clock::time_point cutoff) {
    const auto firstKept = std::find_if(lines.begin(), lines.end(), [cutoff](const LogLine& line) {
        return line.date() >= cutoff;
    });
    return static_cast<std::size_t>(firstKept - lines.begin());
}

void scheduleNextPrune(LogController& controller, MainQueue& queue) {
    queue.postAfter(LogController::kPruneInterval, [&controller, &queue] {
        controller.prune(LogLine::Clock::now());
        scheduleNextPrune(controller, queue);
    });
}

} // namespace

std::atomic<bool> LogController::detailedLogging{false};

LogController& LogController::shared() {
    static LogController controller;
    return controller;
}

bool LogController::matches(const LogLine& line) const {
    if (filter_.logType == LogType::errors && !line.isError()) return false;
    if (filter_.text.empty()) return true;
    return foldedContains(line.message().formatted(), filter_.text, TextFolding::caseInsensitive);
}

void LogController::add(LogLine line) {
    if (Logger::level() >= 2) Logger::log(2, line.describe());
    const bool shown = matches(line);
    logs_.push_back(line);
    if (!shown) return;
    filteredLogs_.push_back(std::move(line));
    if (delegate_ != nullptr) delegate_->logsDidInsert(filteredLogs_.size() - 1);
}

void LogController::setFilter(Filter filter) {
    filter_ = std::move(filter);
    filteredLogs_.clear();
    for (const LogLine& line : logs_)
        if (matches(line)) filteredLogs_.push_back(line);
    if (delegate_ != nullptr) delegate_->logsDidReload();
}

void LogController::prune(LogLine::Clock::time_point now) {
    const auto cutoff = now - kMaxLogAge;
    if (const std::size_t n = expiredCount(filteredLogs_, cutoff); n > 0) {
        if (delegate_ != nullptr) delegate_->logsDidRemove(0, n);
        filteredLogs_.erase(filteredLogs_.begin(),
                            filteredLogs_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    const std::size_t m = expiredCount(logs_, cutoff);
    logs_.erase(logs_.begin(), logs_.begin() + static_cast<std::ptrdiff_t>(m));
    Logger::log(2, "Removed oldest " + std::to_string(m) + " logs");
}

void LogController::startPruning(MainQueue& queue) {
    scheduleNextPrune(*this, queue);
}

} // namespace tessera
