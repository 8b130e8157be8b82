// The frame over the Blowfish engine: layout, progress, the stored-length check and the
// file operations. What every engine keeps (equal messages, the wrong key, partial blocks) is
// held by the engine contract.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "FrameOracle.h"
#include "TempDir.h"
#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/FramedEngine.h"
#include "engines/clsBlowfish.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

constexpr std::size_t B = 8;

ByteArray Pattern(std::size_t n, unsigned variant = 1) {
    std::mt19937 rng(variant);
    return RandomBytes(rng, n);
}

// CBC over whole blocks through the bare block function, without any frame handling.
ByteArray CbcRaw(Engine& e, const ByteArray& data, bool encrypt) {
    return encrypt ? CbcEncrypt(data, B, EngineBlock(e)) : CbcDecrypt(data, B, EngineBlock(e, false));
}

// A frame of T bytes whose length field holds L, encrypted under the engine's key.
ByteArray FakeFrame(Engine& e, std::size_t T, std::int32_t L) {
    ByteArray frame = Pattern(T, 5);
    Module1::StoreLE32(frame.data() + 8, static_cast<std::uint32_t>(L));
    return CbcRaw(e, frame, true);
}

struct Recorder {
    std::vector<int> progress;
    std::vector<std::u16string> wrongKey;
    void Attach(Engine& e) {
        e.Progress = [this](std::int32_t p) { progress.push_back(p); };
        e.WrongKey = [this](std::u16string_view t) { wrongKey.emplace_back(t); };
    }
};

// The number of the Failure that f throws (and its description), or 0.
template <class F>
std::int32_t ErrorOf(F&& f, std::string* text = nullptr) {
    const std::optional<Failure> failure = FailureOf(f);
    if (failure && text)
        *text = failure->Description();
    return failure ? failure->Number() : 0;
}

class Frame : public ::testing::Test {
protected:
    Frame() { engine.Key(u"frame key"); }
    clsBlowfish engine;
};

}  // namespace

TEST_F(Frame, LengthHeaderAndPadding) {
    // The last ones end just past the pieces (16 KiB) in which the array is worked through.
    const std::pair<std::size_t, std::size_t> lengths[] = {
        {0, 16},        {4, 16},        {5, 24},        {12, 24},       {13, 32},      {100, 112},
        {16372, 16384}, {16380, 16392}, {16381, 16400}, {32760, 32776}, {49140, 49152}};
    for (const auto& [L, N] : lengths) {
        const ByteArray data = Pattern(L, static_cast<unsigned>(L));
        ByteArray bytes = data;
        engine.EncryptByte(bytes);
        ASSERT_EQ(bytes.size(), N) << "L = " << L;
        const ByteArray frame = CbcRaw(engine, bytes, false);
        // Little-endian length, although the block words are big-endian.
        EXPECT_EQ(frame[8], static_cast<std::uint8_t>(L));
        EXPECT_EQ(frame[9], static_cast<std::uint8_t>(L >> 8));
        ByteArray back = bytes;
        EXPECT_TRUE(engine.DecryptByte(back));
        EXPECT_EQ(back, data) << "L = " << L;
        EXPECT_EQ(frame[10], 0);
        EXPECT_EQ(frame[11], 0);
        EXPECT_LT(frame[3], 0x80) << "random word 0 is 0 to 2^31-1";
        EXPECT_LT(frame[7], 0x80) << "random word 1 is 0 to 2^31-1";
        EXPECT_EQ(ByteArray(frame.begin() + 12, frame.begin() + 12 + L), data);
        EXPECT_EQ(ByteArray(frame.begin() + 12 + L, frame.end()), ByteArray(N - 12 - L, 0)) << "zero padding";
    }
}

TEST(FrameLength, LargestFrame) {
    EXPECT_EQ(frame::FrameLength(0, 8), 16u);
    EXPECT_EQ(frame::FrameLength(0, 16), 16u);
    EXPECT_EQ(frame::FrameLength(5, 16), 32u);
    EXPECT_EQ(frame::FrameLength(2147483628, 8), 2147483640u);
    // 2147483635 + 12 is the largest signed value itself, but padding takes it past it.
    EXPECT_EQ(frame::FrameLength(2147483635, 8), 0u);
    EXPECT_EQ(frame::FrameLength(2147483620, 16), 2147483632u);
    EXPECT_EQ(frame::FrameLength(2147483621, 16), 0u);
    EXPECT_EQ(frame::FrameLength(std::uint64_t{1} << 40, 8), 0u);
}

TEST_F(Frame, ProgressFollowsTheRuleForManyLengths) {
    ASSERT_EQ(ExpectedProgress(16, B), (std::vector<int>{0, 50, 100}));
    ASSERT_EQ(ExpectedProgress(24, B), (std::vector<int>{0, 33, 66, 100}));
    Recorder r;
    r.Attach(engine);
    std::vector<std::size_t> frames;
    for (std::size_t N = 16; N <= 8 * 1500; N += 8)
        frames.push_back(N);
    for (std::size_t N : {100000u, 123456u, 800008u, 2400000u})
        frames.push_back(N);
    for (std::size_t N : frames) {
        ByteArray data(N - 12);
        r.progress.clear();
        engine.EncryptByte(data);
        ASSERT_EQ(data.size(), N);
        ASSERT_EQ(r.progress, ExpectedProgress(N, B)) << "encrypting, N = " << N;
        r.progress.clear();
        engine.DecryptByte(data);
        ASSERT_EQ(r.progress, ExpectedProgress(N, B)) << "decrypting, T = " << N;
        // The rule alone, asked after every block as a one-block-at-a-time loop asks it.
        r.progress.clear();
        frame::ProgressRule rule(N, engine.Progress);
        for (std::uint64_t o = 0; o < N; o += B)
            rule.After(o);
        rule.Finish();
        ASSERT_EQ(r.progress, ExpectedProgress(N, B)) << "the rule alone, M = " << N;
    }
}

TEST_F(Frame, StoredLengthWindow) {
    constexpr std::size_t T = 24;
    struct Case {
        std::int32_t L;
        int outcome;  // 1 accepted, 0 wrong key, 6 overflow
    };
    const Case cases[] = {
        {12, 1},
        {5, 1},
        {0 + 5, 1},
        {13, 0},
        {4, 0},
        {0, 0},
        {-1, 0},
        {24, 0},
        {std::numeric_limits<std::int32_t>::max(), 0},
        {-2147483623, 0},  // T - L is exactly the largest signed value
        {-2147483624, 6},  // one further overflows
        {std::numeric_limits<std::int32_t>::min(), 6},
    };
    Recorder r;
    r.Attach(engine);
    for (const Case& c : cases) {
        ByteArray bytes = FakeFrame(engine, T, c.L);
        const ByteArray before = bytes;
        r.wrongKey.clear();
        if (c.outcome == 6) {
            EXPECT_EQ(ErrorOf([&] { engine.DecryptByte(bytes); }), Failure::Overflow) << c.L;
            EXPECT_EQ(bytes, before) << c.L;
            EXPECT_TRUE(r.wrongKey.empty());
        } else {
            EXPECT_EQ(engine.DecryptByte(bytes), c.outcome == 1) << c.L;
            EXPECT_EQ(r.wrongKey.size(), c.outcome == 1 ? 0u : 1u) << c.L;
            EXPECT_EQ(bytes.size(), c.outcome == 1 ? static_cast<std::size_t>(c.L) : T) << c.L;
        }
    }
    // Twelve bytes of header and nothing else decrypt to the empty array.
    ByteArray empty = FakeFrame(engine, 16, 0);
    EXPECT_TRUE(engine.DecryptByte(empty));
    EXPECT_TRUE(empty.empty());
}

namespace {

class FrameFiles : public Frame {
protected:
    TempDir dir;
};

}  // namespace

TEST_F(FrameFiles, MissingSource) {
    const auto missing = dir / "missing";
    const auto dest = dir / "dest";
    for (bool encrypt : {true, false}) {
        std::string text;
        const std::int32_t n = ErrorOf(
            [&] { encrypt ? engine.EncryptFile(missing, dest) : (void)engine.DecryptFile(missing, dest); }, &text);
        EXPECT_EQ(n, static_cast<std::int32_t>(0x80040000u));
        EXPECT_EQ(n, -2147221504);
        EXPECT_EQ(text, "Error in Skipjack EncryptFile procedure (Source file does not exist).");
        EXPECT_FALSE(std::filesystem::exists(dest));
    }
    // A folder is not a source file either.
    EXPECT_EQ(ErrorOf([&] { engine.EncryptFile(dir.path(), dest); }), Failure::ObjectError);
    EXPECT_EQ(dir.Entries(), 0u);
}

TEST_F(FrameFiles, RoundTripsAndAgreesWithTheByteOperations) {
    const std::size_t chunk = std::size_t{1} << 20;
    for (std::size_t L :
         {std::size_t{0}, std::size_t{1}, std::size_t{7}, chunk - 12, chunk - 11, chunk + 100, 3 * chunk + 5}) {
        const ByteArray data = Pattern(L, static_cast<unsigned>(L));
        const auto plain = dir / "plain", cipher = dir / "cipher", back = dir / "back";
        WriteFile(plain, data);
        Recorder r;
        r.Attach(engine);
        engine.EncryptFile(plain, cipher);
        const std::size_t N = frame::FrameLength(L, B);
        EXPECT_EQ(r.progress, ExpectedProgress(N, B)) << L;
        ByteArray bytes = ReadFile(cipher);
        ASSERT_EQ(bytes.size(), N);
        EXPECT_TRUE(clsBlowfish().DecryptByte(bytes, u"frame key"));
        EXPECT_EQ(bytes, data) << L;

        r.progress.clear();
        EXPECT_TRUE(engine.DecryptFile(cipher, back));
        EXPECT_EQ(r.progress, ExpectedProgress(N, B)) << L;
        EXPECT_EQ(ReadFile(back), data) << L;

        // And the other way: bytes encrypted in memory open as a file.
        bytes = data;
        engine.EncryptByte(bytes);
        WriteFile(cipher, bytes);
        EXPECT_TRUE(clsBlowfish().DecryptFile(cipher, back, u"frame key"));
        EXPECT_EQ(ReadFile(back), data) << L;
        EXPECT_EQ(dir.Entries(), 3u) << "no temporary file left";
    }
}

TEST_F(FrameFiles, SameFileAsSourceAndDestination) {
    const ByteArray data = Pattern(5000);
    const auto file = dir / "file";
    WriteFile(file, data);
    engine.EncryptFile(file, file);
    EXPECT_EQ(ReadFile(file).size(), frame::FrameLength(data.size(), B));
    EXPECT_TRUE(engine.DecryptFile(file, file));
    EXPECT_EQ(ReadFile(file), data);
    EXPECT_EQ(dir.Entries(), 1u);
}

TEST_F(FrameFiles, DestinationThatCannotBeWritten) {
    const ByteArray data = Pattern(100);
    const auto source = dir / "source";
    WriteFile(source, data);
    ByteArray cipher = data;
    engine.EncryptByte(cipher);
    const auto encrypted = dir / "encrypted";
    WriteFile(encrypted, cipher);

    // A folder that does not exist.
    const auto nowhere = dir / "no such folder" / "dest";
    EXPECT_TRUE(FailureOf([&] { engine.EncryptFile(source, nowhere); }).value().IsFileError());
    EXPECT_TRUE(FailureOf([&] { engine.DecryptFile(encrypted, nowhere); }).value().IsFileError());

    // A folder in the destination's place: it cannot be replaced, and nothing is lost.
    const auto folder = dir / "folder";
    std::filesystem::create_directory(folder);
    WriteFile(folder / "inside", {1, 2, 3});
    EXPECT_TRUE(FailureOf([&] { engine.EncryptFile(source, folder); }).value().IsFileError());
    EXPECT_TRUE(FailureOf([&] { engine.DecryptFile(encrypted, folder); }).value().IsFileError());
    EXPECT_EQ(ReadFile(folder / "inside"), (ByteArray{1, 2, 3}));
    EXPECT_EQ(ReadFile(source), data);
    EXPECT_EQ(ReadFile(encrypted), cipher);
    EXPECT_EQ(dir.Entries(), 3u) << "no temporary file left";
}

TEST_F(FrameFiles, WrongKeyLeavesTheDestinationUntouched) {
    ByteArray cipher = Pattern(300);
    engine.EncryptByte(cipher);
    const auto source = dir / "cipher", dest = dir / "dest";
    WriteFile(source, cipher);
    WriteFile(dest, {9, 9, 9});
    clsBlowfish other;
    Recorder r;
    r.Attach(other);
    EXPECT_FALSE(other.DecryptFile(source, dest, u"wrong"));
    EXPECT_EQ(r.wrongKey.size(), 1u);
    EXPECT_EQ(ReadFile(dest), (ByteArray{9, 9, 9}));
    EXPECT_EQ(ReadFile(source), cipher);
    EXPECT_EQ(dir.Entries(), 2u);
}

TEST_F(FrameFiles, CiphertextOfPartialBlocksOrTooLong) {
    const auto source = dir / "source", dest = dir / "dest";
    WriteFile(dest, {7});
    for (std::size_t T : {0u, 8u, 20u, 33u}) {
        WriteFile(source, Pattern(T));
        EXPECT_EQ(ErrorOf([&] { engine.DecryptFile(source, dest); }), Failure::SubscriptOutOfRange) << T;
    }
    // Sparse files past the largest frame: refused before anything is read or written.
    ResizeFile(source, std::uint64_t{1} << 31);
    EXPECT_EQ(ErrorOf([&] { engine.DecryptFile(source, dest); }), Failure::Overflow);
    WriteFile(source, {});
    ResizeFile(source, 2147483636);
    EXPECT_EQ(ErrorOf([&] { engine.EncryptFile(source, dest); }), Failure::Overflow);
    EXPECT_EQ(ReadFile(dest), (ByteArray{7}));
    EXPECT_EQ(dir.Entries(), 2u);
}
