#include "base/ChunkPipeline.h"

namespace tavorin {

// The calls in their fixed order (ChunkPipeline.h), on this thread alone: what Run does where it
// has no second thread.
void ChunkPipeline::RunHere(std::size_t n, const Stage& read, const Stage& work, const Stage& write) {
    for (std::size_t k = 0; k < n && k < 2; ++k) {
        read(k, Slot(k));
    }
    for (std::size_t k = 0; k < n; ++k) {
        work(k, Slot(k));
        write(k, Slot(k));
        if (k + 2 < n) {
            read(k + 2, Slot(k + 2));
        }
    }
}

}  // namespace tavorin
