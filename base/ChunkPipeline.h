#pragma once
// Chunks of a file read ahead and written behind on a second thread, while the calling
// thread transforms them: the cipher then never waits for the disk.
//
// The second thread makes its calls in one fixed order, whatever the timing:
//   read 0, read 1, write 0, read 2, write 1, read 3, ..., write n-1
// so a file system fault at the k-th call is the same fault on every run. Three slots are
// enough for that order: while chunk k is written and chunk k+2 read, the caller works on
// chunk k+1. A failure on either side stops both and comes out of Run on the calling thread;
// nothing runs on the second thread after Run returns.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tavorin {

class ChunkPipeline {
public:
    static constexpr std::size_t kSlots = 3;

    // Reads chunk k into the slot, transforms it in place, writes it out.
    using Stage = std::function<void(std::size_t k, std::uint8_t* slot)>;

    // slots: kSlots buffers of the largest chunk, one after another, slotSize bytes apart.
    ChunkPipeline(std::uint8_t* slots, std::size_t slotSize) noexcept : slots_(slots), slotSize_(slotSize) {}

    // Runs the n chunks (ChunkPipelineOnTwoThreads.cpp). With a single chunk, or when no thread
    // can be started, RunHere makes the same calls.
    void Run(std::size_t n, const Stage& read, const Stage& work, const Stage& write);

private:
    // The calls in their order, on this thread alone (ChunkPipeline.cpp).
    void RunHere(std::size_t n, const Stage& read, const Stage& work, const Stage& write);
    std::uint8_t* Slot(std::size_t k) const noexcept { return slots_ + (k % kSlots) * slotSize_; }

    std::uint8_t* slots_;
    std::size_t slotSize_;
};

}  // namespace tavorin
