// Memory kept out of swap: the system's count of locked memory grows while a range is held and
// falls back only when the last range over a page ends; message bytes past the budget are left
// unlocked and counted, never refused.
#include <gtest/gtest.h>

#include <vector>

#include "base/Memory.h"
#include "tests/LockedBytes.h"

using namespace tavorin;
using tavorin::test::LockedBytes;

TEST(LockedMemory, PagesStayLockedUntilTheLastRangeOverThemEnds) {
    std::vector<std::uint8_t> block(std::size_t{64} << 10);
    const auto before = LockedBytes();
    {
        LockedMemory first(block.data() + 100, 10000, Holds::Key);
        EXPECT_TRUE(first.Locked());
        const auto held = LockedBytes();
        {
            LockedMemory overlapping(block.data() + 5000, 20000, Holds::Key);
            EXPECT_TRUE(overlapping.Locked());
            if (before) {
                EXPECT_GT(*LockedBytes(), *held);
            }
        }
        if (before) {
            EXPECT_GT(*held, *before);
            EXPECT_EQ(LockedBytes(), held) << "the pages the first range shared were unlocked with the second";
        }
    }
    EXPECT_EQ(LockedBytes(), before);
}

TEST(LockedMemory, MessagesPastTheBudgetAreLeftUnlockedAndCounted) {
    const SwapRefusals start = SwapGuardRefusals();
    std::vector<std::uint8_t> large(start.budget + (std::size_t{64} << 10));
    const auto before = LockedBytes();
    const LockedMemory whole(large.data(), large.size(), Holds::Message);
    EXPECT_FALSE(whole.Locked());
    EXPECT_EQ(SwapGuardRefusals().messageBytes, start.messageBytes + large.size());
    EXPECT_EQ(LockedBytes(), before);
    if (start.budget >= (std::size_t{64} << 10)) {
        const LockedMemory piece(large.data(), 5000, Holds::Message);
        EXPECT_TRUE(piece.Locked());
    }
}
