#include "controller/LiveChangePlan.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

using platform::FileEvent;
using Kind = FileEvent::Kind;

LiveChange update(std::optional<std::string> from, std::optional<std::string> to) {
    return {LiveChange::Kind::update, std::move(from), std::move(to), {}, false};
}

TEST(LiveChangePlanTest, EventsBecomeUpdateStepsInOrder) {
    const auto reachable = [](const std::string& path) { return path != "/r/gone"; };
    const std::vector<FileEvent> events{
        {Kind::appeared, "/r/a", {}},   {Kind::changed, "/r/b", {}},
        {Kind::changed, "/r/gone", {}}, {Kind::moved, "/r/c", "/r/d/c"},
        {Kind::deleted, "/r/e", {}},    {Kind::rootMoved, "/r", "/s"},
        {Kind::lost, "/s", {}},         {Kind::rootDeleted, "/s", {}},
    };
    const std::vector<LiveChange> expected{
        update(std::nullopt, "/r/a"),
        {LiveChange::Kind::update, std::nullopt, "/r/b", {}, true}, // its own change
        update("/r/gone", std::nullopt), // a change that cannot be reached is a removal
        update("/r/c", "/r/d/c"),
        update("/r/e", std::nullopt),
        {LiveChange::Kind::rootMoved, {}, {}, "/s", false},
        {LiveChange::Kind::lost, {}, {}, "/s", false},
        {LiveChange::Kind::rootDeleted, {}, {}, {}, false},
    };
    EXPECT_EQ(planLiveChanges(events, reachable), expected);
}

} // namespace
} // namespace tessera
