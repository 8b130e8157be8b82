// Chunks read ahead and written behind on a second thread: the order of the file calls,
// the data each stage sees, and failures on either side.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/ChunkPipeline.h"
#include "base/Failure.h"

using namespace tavorin;

namespace {

constexpr std::size_t kSlot = 64;

// The calls of the second thread as "r3", "w2"; work is checked separately.
struct Recording {
    std::vector<std::string> io;
    std::vector<std::size_t> worked;
    std::vector<std::uint8_t> written;  // one byte per chunk: what write saw in the slot
};

// The only order the file calls may come in, whatever the timing.
std::vector<std::string> ExpectedOrder(std::size_t n) {
    std::vector<std::string> order;
    for (std::size_t k = 0; k < std::min<std::size_t>(n, 2); ++k)
        order.push_back("r" + std::to_string(k));
    for (std::size_t k = 0; k < n; ++k) {
        order.push_back("w" + std::to_string(k));
        if (k + 2 < n)
            order.push_back("r" + std::to_string(k + 2));
    }
    if (n == 1)
        return {"r0", "w0"};
    return order;
}

Recording RunRecorded(std::size_t n, std::chrono::microseconds workTime = {}, std::chrono::microseconds ioTime = {}) {
    std::vector<std::uint8_t> slots(ChunkPipeline::kSlots * kSlot);
    Recording rec;
    ChunkPipeline(slots.data(), kSlot)
        .Run(
            n,
            [&](std::size_t k, std::uint8_t* slot) {
                std::this_thread::sleep_for(ioTime);
                rec.io.push_back("r" + std::to_string(k));
                slot[0] = static_cast<std::uint8_t>(k);
            },
            [&](std::size_t k, std::uint8_t* slot) {
                std::this_thread::sleep_for(workTime);
                rec.worked.push_back(k);
                slot[0] = static_cast<std::uint8_t>(slot[0] * 3 + 1);
            },
            [&](std::size_t k, std::uint8_t* slot) {
                std::this_thread::sleep_for(ioTime);
                rec.io.push_back("w" + std::to_string(k));
                rec.written.push_back(slot[0]);
            });
    return rec;
}

}  // namespace

TEST(ChunkPipeline, FixedOrderAndEachChunkTransformedOnceWhateverTheTiming) {
    using namespace std::chrono_literals;
    for (auto [work, io] : {std::pair{0us, 0us}, std::pair{300us, 0us}, std::pair{0us, 300us}}) {
        for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 7u, 40u}) {
            SCOPED_TRACE("n = " + std::to_string(n) + ", work " + std::to_string(work.count()) + " us, io " +
                         std::to_string(io.count()) + " us");
            const Recording rec = RunRecorded(n, work, io);
            EXPECT_EQ(rec.io, ExpectedOrder(n));
            ASSERT_EQ(rec.worked.size(), n);
            ASSERT_EQ(rec.written.size(), n);
            for (std::size_t k = 0; k < n; ++k) {
                EXPECT_EQ(rec.worked[k], k);
                // Read, then worked on, then written: never a slot overwritten early.
                EXPECT_EQ(rec.written[k], static_cast<std::uint8_t>(k * 3 + 1)) << k;
            }
        }
    }
}

TEST(ChunkPipeline, AFailureAnywhereComesOutOfRunAndStopsBothSides) {
    std::vector<std::uint8_t> slots(ChunkPipeline::kSlots * kSlot);
    enum Where { Read, Work, Write };
    for (Where where : {Read, Work, Write}) {
        for (std::size_t n : {1u, 2u, 5u, 12u}) {
            for (std::size_t at = 0; at < n; ++at) {
                SCOPED_TRACE("stage " + std::to_string(where) + ", n = " + std::to_string(n) + ", chunk " +
                             std::to_string(at));
                std::atomic<int> callsAfterReturn{0};
                std::atomic<bool> returned{false};
                std::atomic<std::size_t> writes{0};
                auto stage = [&](Where self) {
                    return [&, self](std::size_t k, std::uint8_t*) {
                        if (returned)
                            ++callsAfterReturn;
                        if (self == where && k == at)
                            throw Failure(FailureKind::DeviceIO, "stage failed");
                        if (self == Write)
                            ++writes;
                    };
                };
                try {
                    ChunkPipeline(slots.data(), kSlot).Run(n, stage(Read), stage(Work), stage(Write));
                    ADD_FAILURE() << "no failure";
                } catch (const Failure& f) {
                    EXPECT_EQ(f.Number(), Failure::DeviceIO);
                }
                returned = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                EXPECT_EQ(callsAfterReturn, 0);
                EXPECT_LE(writes, at) << "a chunk at or after the failed one was written";
            }
        }
    }
}

TEST(ChunkPipeline, OtherExceptionsKeepTheirType) {
    std::vector<std::uint8_t> slots(ChunkPipeline::kSlots * kSlot);
    auto none = [](std::size_t, std::uint8_t*) {};
    auto failAt3 = [](std::size_t k, std::uint8_t*) {
        if (k == 3)
            throw std::runtime_error("handler");
    };
    EXPECT_THROW(ChunkPipeline(slots.data(), kSlot).Run(6, failAt3, none, none), std::runtime_error);
    EXPECT_THROW(ChunkPipeline(slots.data(), kSlot).Run(6, none, failAt3, none), std::runtime_error);
}
