#pragma once
// Decryption spread over every core: the fast forms of the framed engine's decryption, which
// runs on one thread, block by block, in FramedEngine.h and FramedFile.cpp. CBC decryption of
// a block needs only the ciphertext block before it, so each piece, chained from the block
// before it (kept before any piece is decrypted), may be decrypted on any core. Both forms give
// the bytes and the progress events of the one-thread path.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engines/FramedFile.h"

namespace tavorin {

class Team;

namespace frame {

// A run of bytes decrypted in pieces handed out in order to the members of a team.
class EveryCore {
public:
    // The size of the pieces; runs shorter than two pieces stay on one thread.
    static constexpr std::size_t kPiece = std::size_t{256} << 10;
    static constexpr std::size_t kSplitFrom = 2 * kPiece;

    // Whether a run of n bytes goes to every core: threads can be started, there are several
    // cores, and it is long enough.
    static bool Worth(std::uint64_t n) noexcept;

    // A team for runs of up to `pieces` pieces.
    explicit EveryCore(std::size_t pieces);
    ~EveryCore();
    EveryCore(const EveryCore&) = delete;
    EveryCore& operator=(const EveryCore&) = delete;

    // Decrypts data[0, n), frame offset base, in place, chaining from prev (on return the
    // last ciphertext block), through `chain` over stretches of `inCache` bytes. With `shift`,
    // the data bytes move down over the 12 header bytes (base 0) as the one-thread path moves
    // them.
    void Decrypt(std::uint8_t* data, std::uint64_t base, std::size_t n, std::uint8_t* prev, std::size_t B,
                 std::size_t inCache, bool shift, ProgressRule& progress, const BlockRun& chain);

private:
    std::unique_ptr<Team> team_;
};

#ifndef TAVORIN_NO_FILES
// Whether a frame of T bytes read from a file, written to a file, is worth deciphering a chunk
// on each core at once.
bool ChunksOnEveryCoreWorth(std::uint64_t T) noexcept;

// Each chunk of the frame (from hooks.front on) whole on one core: read with the ciphertext
// block before it, deciphered from that block, its data bytes (those before dataEnd) written
// where they belong. The ciphertext hook sees the chunks in order; progress is raised on this
// thread.
void DecryptChunksOnEveryCore(InputFile& in, AtomicOutputFile& out, std::uint64_t T, std::uint64_t dataEnd,
                              std::size_t B, ProgressRule& progress, const BlockRun& decrypt,
                              const FrameFileHooks& hooks);
#endif

}  // namespace frame

}  // namespace tavorin
