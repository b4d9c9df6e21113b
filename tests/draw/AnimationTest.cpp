// The animation clock: progress from the time elapsed, by progress type and curve.
#include "draw/Animation.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

TEST(AnimationTest, ProgressFollowsTheClockTypeAndCurve) {
    double now = 100;
    auto old = Animation::setClock([&] { return now; });
    Animation pulse(2.0, Animation::ProgressType::periodic, Animation::ProgressCurve::easeInOut);
    for (double at : {0.0, 2.0, 4.0}) {
        now = 100 + at;
        pulse.update();
        EXPECT_DOUBLE_EQ(pulse.progress(), 1.0) << at;
    }
    now = 101;
    pulse.update();
    EXPECT_DOUBLE_EQ(pulse.progress(), 0.0);

    Animation fade(0.5, Animation::ProgressType::clampedToUnit, Animation::ProgressCurve::linear);
    now = 101.25;
    fade.update();
    EXPECT_DOUBLE_EQ(fade.progress(), 0.5);
    now = 110;
    fade.update();
    EXPECT_DOUBLE_EQ(fade.progress(), 1.0);

    Animation instant(0, Animation::ProgressType::clampedToUnit, Animation::ProgressCurve::easeIn);
    instant.update();
    EXPECT_DOUBLE_EQ(instant.progress(), 1.0);
    EXPECT_DOUBLE_EQ(Animation::apply(Animation::ProgressCurve::easeInOut, 0.25), 0.125);
    EXPECT_DOUBLE_EQ(Animation::apply(Animation::ProgressCurve::easeInOut, 0.75), 0.875);
    EXPECT_DOUBLE_EQ(Animation::apply(Animation::ProgressCurve::easeIn, 0.5), 0.25);
    EXPECT_DOUBLE_EQ(Animation::apply(Animation::ProgressCurve::easeOut, 0.5), 0.75);
    EXPECT_DOUBLE_EQ(Animation::apply(Animation::ProgressCurve::linear, 0.3), 0.3);
    Animation::setClock(std::move(old));
}

} // namespace
} // namespace tessera
