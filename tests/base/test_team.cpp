// Work on every core: each job runs once, however many threads take part, and the caller
// hears of every job on its own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/Team.h"

using namespace tavorin;

TEST(Team, EveryJobOnceAndEachEndToldOnTheCallingThread) {
    for (std::size_t size : {1, 2, 3, 8}) {
        Team team(size);
        for (std::size_t count : {0, 1, 5, 300}) {
            std::vector<std::atomic<int>> runs(count);
            std::size_t told = 0;
            const auto caller = std::this_thread::get_id();
            team.Run(
                count, [&](std::size_t k) { runs[k].fetch_add(1); },
                [&] {
                    EXPECT_EQ(std::this_thread::get_id(), caller);
                    ++told;
                });
            EXPECT_EQ(told, count) << size << " threads";
            for (std::size_t k = 0; k < count; ++k)
                ASSERT_EQ(runs[k].load(), 1) << "job " << k << " of " << count << ", " << size << " threads";
        }
    }
}

#ifdef __linux__
// A thread kept off a core runs elsewhere, and has every core back afterwards: a worker left
// pinned would share one core with the chain's thread from then on.
TEST(OffCore, KeepsOffOneCoreAndGivesEveryCoreBack) {
    cpu_set_t before, during, after;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    const int core = OffCore::CurrentCore();
    if (core < 0 || CPU_COUNT(&before) < 2)
        GTEST_SKIP() << "one core only";
    {
        OffCore off;
        off.Avoid(core);
        ASSERT_EQ(sched_getaffinity(0, sizeof during, &during), 0);
        EXPECT_FALSE(CPU_ISSET(core, &during));
        EXPECT_NE(OffCore::CurrentCore(), core);
    }
    ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
    EXPECT_TRUE(CPU_EQUAL(&before, &after));
}
#endif
