#pragma once
// Frames streamed between files through the chunk pipeline: the file side of FramedEngine,
// kept out of the template so that every engine shares one copy. The engine supplies the
// chaining over a run of whole blocks.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "base/Files.h"

namespace tavorin::frame {

class ProgressRule;

// Chains n bytes (whole blocks) in place that stand at frame offset base, in order.
using ChainRun = std::function<void(std::uint8_t* data, std::uint64_t base, std::size_t n, ProgressRule& progress)>;
using ProgressSink = std::function<void(std::int32_t)>;
// Chains n bytes (whole blocks) in place from prev, the ciphertext block before them, raising
// nothing; safe on several threads at once.
using BlockRun = std::function<void(std::uint8_t* data, std::size_t n, std::uint8_t* prev)>;

// Chunks are a multiple of every block size.
inline constexpr std::size_t FileChunk = std::size_t{1} << 20;

// The number of chunks of total bytes, and the length of chunk k.
inline std::size_t Chunks(std::uint64_t total) noexcept {
    return static_cast<std::size_t>((total + FileChunk - 1) / FileChunk);
}
inline std::size_t ChunkSize(std::uint64_t total, std::size_t k) noexcept {
    const std::uint64_t rest = total - std::uint64_t{k} * FileChunk;
    return static_cast<std::size_t>(rest < FileChunk ? rest : FileChunk);
}

// Throws the object error unless the source names a file whose length can be read.
void CheckSource(const std::filesystem::path& source);

// Frames the source file for blocks of B bytes into the destination, through an unnamed file
// named at the end as the policy says; hooks.front bytes stand before the frame.
void EncryptFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 const OutputPolicy& policy, const FrameFileHooks& hooks, std::size_t B, const ProgressSink& sink,
                 const ChainRun& encrypt);

// Deciphers a framed file (its frame from hooks.front on) into its data bytes. False, with the
// destination untouched, when the stored length (peek reads it from the first chunk) does not fit.
// Where it pays (several cores, a file to write), each chunk is read, deciphered by
// `chunkOnOneCore` and written on one of the cores, several chunks at once, so that the bytes
// never move between cores.
bool DecryptFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                 const OutputPolicy& policy, const FrameFileHooks& hooks, std::size_t B, const ProgressSink& sink,
                 const std::function<std::int32_t(const std::uint8_t*)>& peek, const ChainRun& decrypt,
                 const BlockRun& chunkOnOneCore);

}  // namespace tavorin::frame
