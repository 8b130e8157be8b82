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
