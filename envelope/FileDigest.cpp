#include "envelope/FileDigest.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "codecs/CSHA256.h"
#include "engines/FrameFormat.h"
#include "engines/FramedFile.h"
#include "engines/Registry.h"

namespace tavorin::envelope {

namespace {

// Thrown from the hook that checks the digest before the output is named.
struct DigestDiffers {};

// The digest of bytes [from, size) of a file, read in chunks.
CSHA256::DigestBytes DigestOfFile(InputFile& in, std::uint64_t from) {
    CSHA256 sha;
    ByteArray chunk(static_cast<std::size_t>(std::min<std::uint64_t>(in.Size() - from, frame::FileChunk)));
    for (std::uint64_t at = from; at < in.Size();) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(in.Size() - at, chunk.size()));
        in.ReadAt(chunk.data(), n, at);
        sha.Update(chunk.data(), n);
        at += n;
    }
    return sha.Final();
}

}  // namespace

void EncryptFileWithDigest(Engine& engine, const std::filesystem::path& source,
                           const std::filesystem::path& destination, std::u16string_view key, int stream) {
    auto sha = std::make_shared<CSHA256>();
    FrameFileHooks hooks;
    hooks.ciphertext = [sha](const std::uint8_t* data, std::size_t n) { sha->Update(data, n); };
    if (stream < 0) {
        hooks.front = FileDigestSize;
        hooks.finish = [sha](AtomicOutputFile& out) {
            const CSHA256::DigestBytes digest = sha->Final();
            out.WriteAt(digest.data(), digest.size(), 0);
        };
        engine.FileHooks(hooks);
        engine.EncryptFile(source, destination, key);
        engine.FileHooks({});
        return;
    }
    // The frame into a scratch file, then its digest and the frame out.
    ScratchFile scratch;
    engine.DestPolicy({.replace = true, .stream = scratch.Descriptor()});
    engine.FileHooks(hooks);
    engine.EncryptFile(source, destination, key);
    engine.FileHooks({});
    AtomicOutputFile out(destination, {.replace = true, .stream = stream});
    const CSHA256::DigestBytes digest = sha->Final();
    out.Write(digest.data(), digest.size());
    InputFile frame(scratch.Descriptor(), destination);
    ByteArray chunk(static_cast<std::size_t>(std::min<std::uint64_t>(frame.Size(), frame::FileChunk)));
    for (std::uint64_t at = 0; at < frame.Size();) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(frame.Size() - at, chunk.size()));
        frame.ReadAt(chunk.data(), n, at);
        out.Write(chunk.data(), n);
        at += n;
    }
    out.Commit();
}

FileProbe ProbeFile(const std::filesystem::path& source, std::u16string_view key, std::u16string_view cipher,
                    bool bareOnly, const EngineMaker& createEngine) {
    InputFile in(source);
    const std::uint64_t T = in.Size();
    if (T > frame::MaxFrame + (bareOnly ? 0 : FileDigestSize)) {
        throw Failure(FailureKind::TooLarge);
    }
    // The first 16 bytes of either frame; what the file lacks stays zero (and fits nothing).
    std::array<std::uint8_t, FileDigestSize + 16> head{};
    in.ReadAt(head.data(), static_cast<std::size_t>(std::min<std::uint64_t>(T, head.size())), 0);
    std::vector<std::u16string> names;
    if (cipher.empty()) {
        names.assign(EngineNames.begin(), EngineNames.end());
    } else {
        names.emplace_back(cipher);
    }
    const bool digestedPossible = !bareOnly && T >= FileDigestSize;
    FileProbe probe;
    std::vector<FileReading> digested, bare;
    bool anyWhole = false;
    const auto make = [&](std::u16string_view name) { return createEngine ? createEngine(name) : CreateEngine(name); };
    for (const auto& name : names) {
        auto engine = make(name);
        if (!engine) {
            throw Failure(FailureKind::BadArgument, "There is no cipher named " + ToUtf8(name));
        }
        anyWhole = anyWhole || T % engine->BlockSize() == 0;
        const bool rest = digestedPossible && FrameFits(*engine, head.data() + FileDigestSize, T - FileDigestSize, key);
        const bool whole = T <= frame::MaxFrame && FrameFits(*engine, head.data(), T, key);
        if (rest && whole) {
            bare.push_back({make(name), false});
        }
        if (rest || whole) {
            (rest ? digested : bare).push_back({std::move(engine), rest});
            continue;
        }
        // Cut or lengthened by whole blocks: the stored length after the digest is off by a few.
        const std::uint64_t B = engine->BlockSize();
        if (probe.blocks == 0 && digestedPossible && T - FileDigestSize >= 16 && (T - FileDigestSize) % B == 0) {
            const std::int32_t L = engine->PeekLength(head.data() + FileDigestSize, key);
            const std::uint64_t framed = L >= 0 ? frame::FrameLength(static_cast<std::uint64_t>(L), B) : 0;
            const auto off = static_cast<std::int64_t>(framed) - static_cast<std::int64_t>(T - FileDigestSize);
            if (framed != 0 && off != 0 && off % static_cast<std::int64_t>(B) == 0 &&
                std::abs(off) <= 16 * static_cast<std::int64_t>(B)) {
                probe.blocks = off / static_cast<std::int64_t>(B);
            }
        }
    }
    SecureWipe(head.data(), head.size());
    if (!anyWhole) {
        probe.verdict = FileProbe::Verdict::NotWhole;
        return probe;
    }
    const std::vector<FileReading>& first = digested.empty() ? bare : digested;
    if (first.size() > 1) {
        probe.verdict = FileProbe::Verdict::Ambiguous;
        for (const auto& r : first) {
            probe.fitting.emplace_back(r.engine->Name());
        }
        return probe;
    }
    if (first.empty()) {
        probe.verdict = probe.blocks != 0 ? FileProbe::Verdict::Cut : FileProbe::Verdict::WrongKey;
        return probe;
    }
    probe.verdict = FileProbe::Verdict::Fits;
    probe.blocks = 0;
    for (auto* list : {&digested, &bare}) {
        for (auto& r : *list) {
            probe.readings.push_back(std::move(r));
        }
    }
    return probe;
}

FileOpened DecryptFileReading(FileReading& reading, const std::filesystem::path& source,
                              const std::filesystem::path& destination, std::u16string_view key, bool toStream) {
    Engine& engine = *reading.engine;
    if (!reading.digested) {
        return engine.DecryptFile(source, destination, key) ? FileOpened::Opened : FileOpened::WrongKey;
    }
    CSHA256::DigestBytes stored{};
    {
        InputFile in(source);
        in.ReadAt(stored.data(), stored.size(), 0);
        if (toStream && DigestOfFile(in, FileDigestSize) != stored) {
            return FileOpened::DigestDiffers;
        }
    }
    FrameFileHooks hooks;
    hooks.front = FileDigestSize;
    if (!toStream) {
        auto sha = std::make_shared<CSHA256>();
        hooks.ciphertext = [sha](const std::uint8_t* data, std::size_t n) { sha->Update(data, n); };
        hooks.finish = [sha, stored](AtomicOutputFile&) {
            if (sha->Final() != stored) {
                throw DigestDiffers{};
            }
        };
    }
    engine.FileHooks(hooks);
    try {
        const bool fits = engine.DecryptFile(source, destination, key);
        engine.FileHooks({});
        return fits ? FileOpened::Opened : FileOpened::WrongKey;
    } catch (const DigestDiffers&) {
        engine.FileHooks({});
        return FileOpened::DigestDiffers;
    } catch (...) {
        engine.FileHooks({});
        throw;
    }
}

}  // namespace tavorin::envelope
