// The ring between two threads: every item once and in order, a full ring
// refusing more, staged items unseen until committed.
#include <gtest/gtest.h>
#include <vector>

#include "sound/spsc_ring.h"

namespace zendra {
namespace {

TEST(SpscRing, DeliversEachItemOnceInOrderRefusesWhenFullAndHidesWhatIsNotCommitted) {
    SpscRing<int, 4> ring;
    std::vector<int> got;
    const auto take = [&] { ring.drain([&](int i) { got.push_back(i); }); };
    std::vector<bool> taken;
    for (int i = 0; i < 6; ++i) taken.push_back(ring.push(i));
    EXPECT_EQ(taken, (std::vector<bool>{true, true, true, true, false, false}));
    take();
    take();
    EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 3}));
    ASSERT_TRUE(ring.stage(7) && ring.stage(8));
    take();
    EXPECT_EQ(got.size(), 4u);
    ring.commit();
    take();
    EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 3, 7, 8}));
}

}  // namespace
}  // namespace zendra
