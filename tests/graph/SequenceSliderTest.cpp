#include "graph/SequenceSlider.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

TEST(SequenceSliderTest, ValuesNearATreeSnapOntoItAndSplitIntoIndexAndFraction) {
    SequenceSlider slider(3);
    EXPECT_EQ(slider.maximum(), 2.0);

    auto position = slider.move(0.995);
    EXPECT_EQ(position.value, 1.0);
    EXPECT_EQ(position.index, 1u);
    EXPECT_EQ(position.fraction, 0.0);
    EXPECT_TRUE(position.reachedTree);

    // Snapping onto the same tree again is not news.
    position = slider.move(1.004);
    EXPECT_EQ(position.value, 1.0);
    EXPECT_FALSE(position.reachedTree);

    position = slider.move(1.5);
    EXPECT_EQ(position.index, 1u);
    EXPECT_DOUBLE_EQ(position.fraction, 0.5);
    EXPECT_FALSE(position.reachedTree);
    EXPECT_EQ(slider.lastValue(), 1.5);

    // One step of the keyboard (0.01) off a tree is not pulled back.
    position = slider.move(0.99);
    EXPECT_EQ(position.index, 0u);
    EXPECT_NEAR(position.fraction, 0.99, 1e-12);

    // The ends: the last tree has no next one to morph into.
    position = slider.move(7);
    EXPECT_EQ(position.value, 2.0);
    EXPECT_EQ(position.index, 2u);
    EXPECT_EQ(position.fraction, 0.0);
    EXPECT_TRUE(position.reachedTree);
    position = slider.move(-1);
    EXPECT_EQ(position.index, 0u);
    EXPECT_EQ(position.fraction, 0.0);
}

TEST(SequenceSliderTest, TreesOfTheSameNameAreToldApartByTheirDates) {
    const auto labels = sequenceTickLabels({{"home", Date::fromUnixSeconds(1'700'000'000)},
                                            {"work", Date::fromUnixSeconds(1'700'000'000)},
                                            {"home", Date::fromUnixSeconds(1'710'000'000)}});
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[1], "work");
    EXPECT_TRUE(labels[0].starts_with("home\n"));
    EXPECT_TRUE(labels[2].starts_with("home\n"));
    EXPECT_NE(labels[0], labels[2]);
}

} // namespace
} // namespace tessera
