// Decryption on every core against one thread: the same bytes, the same progress events on
// the calling thread, the same wrong-key report, for every engine, in memory and in files.
#include <gtest/gtest.h>

#include <thread>

#include "TempDir.h"
#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/Team.h"
#include "engines/Registry.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

struct Outcome {
    ByteArray bytes;
    bool fits = false;
    std::vector<int> progress;
    int wrongKeys = 0;
    bool overflow = false;  // a wrong key's stored length can be too far off to subtract
    bool operator==(const Outcome&) const = default;
};

// The decryption of `frame` (in memory, or from a file) with the cores limited to `cores`.
Outcome Decrypt(Engine& engine, const ByteArray& frame, std::u16string_view key, std::size_t cores, bool file) {
    LimitCores(cores);
    Outcome run;
    const auto caller = std::this_thread::get_id();
    engine.Progress = [&](std::int32_t p) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        run.progress.push_back(p);
    };
    engine.WrongKey = [&](std::u16string_view) { ++run.wrongKeys; };
    try {
        if (file) {
            const TempDir dir;
            WriteFile(dir / "in", frame);
            run.fits = engine.DecryptFile(dir / "in", dir / "out", key);
            if (run.fits)
                run.bytes = ReadFile(dir / "out");
        } else {
            run.bytes = frame;
            run.fits = engine.DecryptByte(run.bytes, key);
        }
    } catch (const Failure& f) {
        if (f.Number() != Failure::Overflow)
            throw;
        run.overflow = true;
    }
    LimitCores(0);
    engine.Progress = nullptr;
    engine.WrongKey = nullptr;
    return run;
}

}  // namespace

TEST(EveryCore, DecryptsAsOneThreadDoes) {
    for (const auto name : EngineNames) {
        auto engine = CreateEngine(name);
        if (!engine)
            continue;
        // Whole pieces, one block past them, and a frame whose last piece is short.
        // Files of several chunks go chunk by chunk to the cores.
        for (std::size_t size : {(std::size_t{512} << 10) - 12, (std::size_t{512} << 10) - 4,
                                 (std::size_t{5} << 18) + 1001, (std::size_t{4} << 20) + 1001}) {
            ByteArray frame = TestBytes(size, 3);
            engine->EncryptByte(frame, u"every core");
            for (const bool file : {false, true}) {
                if (!file && size > (std::size_t{4} << 20))
                    continue;
                for (const char16_t* key : {u"every core", u"wrong key"}) {
                    const Outcome one = Decrypt(*engine, frame, key, 1, file);
                    const Outcome many = Decrypt(*engine, frame, key, 3, file);
                    EXPECT_EQ(many, one) << ToUtf8(name) << " " << size << (file ? " file" : " bytes");
                    EXPECT_EQ(one.fits, key[0] == u'e');
                    EXPECT_EQ(one.wrongKeys, one.fits || one.overflow ? 0 : 1);
                }
            }
            ByteArray plain = frame;
            engine->DecryptByte(plain, u"every core");
            EXPECT_EQ(plain, TestBytes(size, 3)) << ToUtf8(name);
            // The page's way: pieces deciphered apart, the later first, each chained from the
            // ciphertext block before it; the frame's data then stands after its header.
            const std::size_t B = engine->BlockSize(), cut = frame.size() / 3 / B * B;
            ByteArray pieces = frame, start(B), before(frame.begin() + cut - B, frame.begin() + cut);
            engine->DecryptChained(pieces.data() + cut, pieces.size() - cut, before.data());
            engine->DecryptChained(pieces.data(), cut, start.data());
            EXPECT_EQ(ByteArray(pieces.begin() + 12, pieces.begin() + 12 + size), plain) << ToUtf8(name);
        }
    }
}
