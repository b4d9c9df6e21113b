#include "logs/LogController.h"

#include "logs/Logger.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

struct RecordingDelegate : LogsControllerDelegate {
    std::vector<std::string> events;
    void logsDidInsert(std::size_t row) override {
        events.push_back("insert " + std::to_string(row));
    }
    void logsDidRemove(std::size_t first, std::size_t count) override {
        events.push_back("remove " + std::to_string(first) + "+" + std::to_string(count));
    }
    void logsDidReload() override { events.push_back("reload"); }
};

LogLine at(LogLine::Clock::time_point when, LogLine line) {
    return {when, line.logType()};
}

TEST(LogControllerTest, TheFilterDecidesWhatTheWindowHears) {
    LogController log;
    RecordingDelegate window;
    log.setDelegate(&window);
    log.add(LogLine::scanFile("/home/Me/Report.txt", Date::fromUnixSeconds(0),
                              Date::fromUnixSeconds(0), 4711, 8192));
    EXPECT_EQ(log.logs().size(), 1u);
    EXPECT_TRUE(log.filteredLogs().empty());
    EXPECT_TRUE(window.events.empty());

    log.add(LogLine::scanError("/root/secret", LogLine::Error::posix(EACCES)));
    EXPECT_EQ(window.events, std::vector<std::string>{"insert 0"});
    EXPECT_EQ(log.filteredLogs()[0].message().formatted(),
              "Cannot read /root/secret\nPermission denied\nNSPOSIXErrorDomain 13");
    EXPECT_EQ(LogLine::scanError("/x", std::nullopt).message().formatted(), "Cannot read /x");

    log.setFilter({"me/report", LogController::LogType::detailed});
    EXPECT_EQ(window.events.back(), "reload");
    ASSERT_EQ(log.filteredLogs().size(), 1u);
    EXPECT_FALSE(log.filteredLogs()[0].isError());
    log.setFilter({"4711", LogController::LogType::detailed}); // sizes are part of the message
    EXPECT_EQ(log.filteredLogs().size(), 1u);
    log.setFilter({"", LogController::LogType::detailed});
    EXPECT_EQ(log.filteredLogs().size(), 2u);
}

TEST(LogControllerTest, PruningDropsTheLeadingRunOfLinesOlderThanAnHour) {
    LogController log;
    RecordingDelegate window;
    log.setDelegate(&window);
    const auto now = LogLine::Clock::now();
    log.setFilter({"", LogController::LogType::errors});
    log.add(at(now - std::chrono::minutes(90), LogLine::scanError("/old1", std::nullopt)));
    log.add(at(now - std::chrono::minutes(80), LogLine::scanStart("/old2")));
    log.add(at(now - std::chrono::minutes(70), LogLine::scanError("/old3", std::nullopt)));
    log.add(at(now - std::chrono::minutes(10), LogLine::scanError("/new", std::nullopt)));
    log.add(at(now - std::chrono::minutes(120), LogLine::scanError("/late-but-old", std::nullopt)));
    window.events.clear();
    log.prune(now);
    EXPECT_EQ(window.events, std::vector<std::string>{"remove 0+2"});
    ASSERT_EQ(log.logs().size(), 2u);
    EXPECT_EQ(log.logs()[0].path(), "/new");
    EXPECT_EQ(log.filteredLogs().size(), 2u); // the old line after a newer one stays for now
}

TEST(LogControllerTest, TheDiagnosticLevelComesFromTheArgumentAfterLog) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(Logger::levelFromArguments(Args{"tessera", "-log", "2"}), 2);
    EXPECT_EQ(Logger::levelFromArguments(Args{"-log", "+3", "-log", "1"}), 3);
    EXPECT_EQ(Logger::levelFromArguments(Args{"-log", "7"}), 0);
    EXPECT_EQ(Logger::levelFromArguments(Args{"-log", "two"}), 0);
    EXPECT_EQ(Logger::levelFromArguments(Args{"-log", "2x"}), 0);
    EXPECT_EQ(Logger::levelFromArguments(Args{"scan", "-log"}), 0);
    EXPECT_EQ(Logger::levelFromArguments(Args{}), 0);
}

} // namespace
} // namespace tessera
