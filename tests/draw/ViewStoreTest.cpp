#include "draw/ViewStore.h"

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

TEST(ViewStoreTest, AppendedViewsAreFoundOnceLookedForAmongInsertedOnes) {
    ViewStore<View> store;
    const auto k = [](int i) { return key(static_cast<std::uintptr_t>(i) << 12); };
    for (int round = 0; round < 3; ++round) {
        // Appends without any lookup, also across a clear that nothing looked at.
        for (int i = 1; i <= 100; ++i)
            store.append({k(i), -i});
        store.clear();
        EXPECT_EQ(store.find(k(1)), nullptr);
        // An inserted view, appended ones beyond what the table holds, an insertion that replaces
        // an appended view, then more appended after that lookup.
        EXPECT_EQ(store.insertOrAssign({k(1), 1}), 0u);
        for (int i = 2; i <= 3000; ++i)
            EXPECT_EQ(store.append({k(i), i}), static_cast<std::size_t>(i - 1));
        EXPECT_EQ(store.insertOrAssign({k(2000), 2000}), 1999u);
        EXPECT_EQ(store.insertOrAssign({k(3001), 3001}), 3000u);
        for (int i = 3002; i <= 9000; ++i)
            store.append({k(i), i});
        ASSERT_EQ(store.size(), 9000u);
        for (int i = 1; i <= 9000; ++i) {
            const std::ptrdiff_t index = store.indexOf(k(i));
            ASSERT_EQ(index, i - 1) << i;
            EXPECT_EQ(store.at(static_cast<std::size_t>(index)).value, i);
        }
        EXPECT_FALSE(store.contains(k(9001)));
        store.clear();
    }
}

} // namespace
} // namespace tessera
