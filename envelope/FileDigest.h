#pragma once
// Files that carry the digest of their frame, so that a damaged file is told from a wrong key:
//
//   offset 0    SHA-256 of the frame's bytes (32 bytes, the standard digest of the bytes)
//          32   the frame, exactly as the engine's EncryptFile writes it
//
// A bare frame (every file made before the digest, and `encrypt-file --bare`) has none. Which
// of the two a file is, is found before anything is written, from two probes at its start:
// the frame from byte 32 and the frame from byte 0, each fitting under the key or not.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engines/Engine.h"
#include "envelope/Detect.h"

namespace tavorin::envelope {

inline constexpr std::size_t FileDigestSize = 32;

// Encrypts the source into the destination (as the engine's DestPolicy says) with the
// frame's digest in front. Into a stream (stream >= 0: the descriptor of standard output)
// the frame goes to an unnamed scratch file first, so that its digest can go out before it.
void EncryptFileWithDigest(Engine& engine, const std::filesystem::path& source,
                           const std::filesystem::path& destination, std::u16string_view key, int stream = -1);

struct FileReading {
    std::unique_ptr<Engine> engine;  // keyed
    bool digested = false;           // the frame stands from byte 32 on, after its digest
};

struct FileProbe {
    enum class Verdict {
        Fits,       // readings holds what to try, in order
        NotWhole,   // no cipher's blocks divide the file's length
        Ambiguous,  // more than one cipher fits: fitting names them
        Cut,        // nothing fits, but the stored length after a digest is off by `blocks` whole blocks
        WrongKey,   // nothing fits: a wrong key, or a file damaged in its first blocks
    };
    Verdict verdict = Verdict::WrongKey;
    // The digested reading first; the bare one after it, for the file (about one in 2^29) whose
    // digest by chance also begins a frame that fits.
    std::vector<FileReading> readings;
    std::vector<std::u16string> fitting;
    std::int64_t blocks = 0;  // Cut: blocks missing (> 0) or added (< 0)
};

// The probes of a file under the key, with the named cipher or (empty) every cipher; bareOnly
// reads it as a bare frame alone. Failure 6 for a file larger than a digested largest frame.
FileProbe ProbeFile(const std::filesystem::path& source, std::u16string_view key, std::u16string_view cipher,
                    bool bareOnly, const EngineMaker& createEngine = {});

enum class FileOpened { Opened, WrongKey, DigestDiffers };

// Decrypts a reading into the destination (as its engine's DestPolicy says; toStream when that
// is a stream). A digested one is checked alongside the decryption into a file, which is named
// only when it matches; into a stream it is checked first, by a read of its own, so that
// nothing unchecked goes out.
FileOpened DecryptFileReading(FileReading& reading, const std::filesystem::path& source,
                              const std::filesystem::path& destination, std::u16string_view key, bool toStream);

}  // namespace tavorin::envelope
