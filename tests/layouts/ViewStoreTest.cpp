#include "graph/ViewStore.h"

#include "model/File.h"

#include <gtest/gtest.h>
#include <vector>

namespace tessera {
namespace {

struct View {
    const File* file;
    int value;
};

const File* key(std::uintptr_t n) {
    return reinterpret_cast<const File*>(n * 16);
}

TEST(ViewStoreTest, FindsWhatWasStoredInCreationOrderAcrossGrowthAndClears) {
    ViewStore<View> store;
    EXPECT_EQ(store.find(key(1)), nullptr);
    for (int round = 0; round < 3; ++round) {
        // Enough entries to grow the table several times; keys collide in their low bits.
        for (int i = 1; i <= 5000; ++i)
            EXPECT_EQ(store.insertOrAssign({key(static_cast<std::uintptr_t>(i) << 12), i}),
                      static_cast<std::size_t>(i - 1));
        ASSERT_EQ(store.size(), 5000u);
        for (int i = 1; i <= 5000; ++i) {
            const View* found = store.find(key(static_cast<std::uintptr_t>(i) << 12));
            ASSERT_NE(found, nullptr) << i;
            EXPECT_EQ(found->value, i);
        }
        EXPECT_FALSE(store.contains(key(7)));
        // Storing under a known key replaces the view in its place.
        EXPECT_EQ(store.insertOrAssign({key(std::uintptr_t{3} << 12), -3}), 2u);
        EXPECT_EQ(store.at(2).value, -3);
        EXPECT_EQ(store.size(), 5000u);
        int expected = 1;
        for (const View& view : store)
            EXPECT_EQ(std::abs(view.value), expected++);
        store.clear();
        EXPECT_TRUE(store.empty());
        EXPECT_EQ(store.find(key(std::uintptr_t{1} << 12)), nullptr);
    }
    // Reserving keeps what is stored.
    store.insertOrAssign({key(9), 9});
    store.reserve(100000);
    ASSERT_NE(store.find(key(9)), nullptr);
    EXPECT_EQ(store.find(key(9))->value, 9);
}

} // namespace
} // namespace tessera
