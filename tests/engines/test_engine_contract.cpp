// The contract every engine keeps, run over each engine that is built: round trips, the
// string forms, the frame's size, chaining, the wrong-key report, bad input and files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

#include "FrameOracle.h"
#include "LockedBytes.h"
#include "ReferenceCiphers.h"
#include "TempDir.h"
#include "Vectors.h"
#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/FrameFormat.h"
#include "engines/Registry.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

ByteArray Pattern(std::size_t n, unsigned variant = 1) {
    std::mt19937 rng(variant);
    return RandomBytes(rng, n);
}

const std::u16string Keys[] = {
    u"k",
    u"correct horse battery staple",
    u"\u00C6r\u00F8sk\u00F8bing \u20AC \u00A7 \u00FF",
    std::u16string(100, u'z') + u"!",
};

class EngineContract : public ::testing::TestWithParam<std::u16string_view> {
protected:
    void SetUp() override {
        engine = CreateEngine(GetParam());
        ASSERT_NE(engine, nullptr);
        B = engine->BlockSize();
    }
    std::unique_ptr<Engine> Fresh() const { return CreateEngine(GetParam()); }

    std::unique_ptr<Engine> engine;
    std::size_t B = 0;
};

std::string Name(const ::testing::TestParamInfo<std::u16string_view>& info) { return ToUtf8(info.param); }

}  // namespace

TEST_P(EngineContract, NameAndBlockSize) {
    EXPECT_EQ(engine->Name(), GetParam());
    EXPECT_EQ(B, GetParam() == u"Twofish" ? 16u : 8u);
}

TEST_P(EngineContract, RoundTripsOfEveryShortLength) {
    auto decryptor = Fresh();
    unsigned variant = 0;
    for (const auto& key : Keys) {
        for (std::size_t L = 0; L <= 300; ++L) {
            const ByteArray data = Pattern(L, ++variant);
            ByteArray bytes = data;
            engine->EncryptByte(bytes, key);
            ASSERT_EQ(bytes.size(), frame::FrameLength(L, B)) << "L = " << L;
            ASSERT_TRUE(decryptor->DecryptByte(bytes, key)) << "L = " << L;
            ASSERT_EQ(bytes, data) << "L = " << L;
        }
    }
}

TEST_P(EngineContract, RoundTripsOfLargeArrays) {
    for (std::size_t L : {4093u, 100003u, (1u << 20) + 3u}) {
        const ByteArray data = Pattern(L, static_cast<unsigned>(L));
        ByteArray bytes = data;
        engine->EncryptByte(bytes, u"large");
        EXPECT_TRUE(Fresh()->DecryptByte(bytes, u"large"));
        EXPECT_EQ(bytes, data) << "L = " << L;
    }
}

// What the Sealed events call final must not change afterwards, and the last covers the frame.
TEST_P(EngineContract, SealedEventsReportOnlyFinishedCiphertext) {
    for (std::size_t L : {0u, 5u, 16384u, 100003u}) {
        ByteArray bytes = Pattern(L, 9);
        std::vector<ByteArray> prefixes;
        std::size_t lastTotal = 0;
        engine->Sealed = [&](const std::uint8_t* data, std::size_t ready, std::size_t total) {
            ASSERT_TRUE(prefixes.empty() || ready > prefixes.back().size());
            ASSERT_LE(ready, total);
            prefixes.emplace_back(data, data + ready);
            lastTotal = total;
        };
        engine->EncryptByte(bytes, u"sealed");
        engine->Sealed = nullptr;
        ASSERT_FALSE(prefixes.empty());
        EXPECT_EQ(lastTotal, bytes.size());
        EXPECT_EQ(prefixes.back().size(), bytes.size());
        for (const ByteArray& prefix : prefixes) {
            EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), bytes.begin())) << "L = " << L;
        }
    }
}

// Over memory that held something else: the padding is zero, not what the room held, nothing
// past the frame is touched, and a room too small is refused.
TEST_P(EngineContract, InPlaceFramesPadWithZeros) {
    for (std::size_t L : {0u, 1u, 20u, 16391u}) {
        const ByteArray data = Pattern(L, 3);
        const std::size_t N = frame::FrameLength(L, B);
        ByteArray buffer(N + 1, 0xA5);
        std::copy(data.begin(), data.end(), buffer.begin());
        ASSERT_EQ(engine->EncryptInPlace(buffer.data(), L, N, u"in place"), N);
        ByteArray plain = CbcDecrypt(ByteArray(buffer.begin(), buffer.begin() + N), B, EngineBlock(*engine, false));
        std::fill(plain.begin(), plain.begin() + 8, 0);  // the random header words
        EXPECT_EQ(plain, PlainFrame(data, B)) << "L = " << L;
        EXPECT_EQ(buffer[N], 0xA5);
    }
    ByteArray small(20, 1);
    EXPECT_EQ(FailureOf([&] { engine->EncryptInPlace(small.data(), 10, 20, u"k"); })->Number(), Failure::Overflow);
}

TEST_P(EngineContract, TheKeyStaysUntilAnotherIsGiven) {
    ByteArray bytes = Pattern(50, 1);
    const ByteArray data = bytes;
    engine->Key(u"kept key");
    engine->EncryptByte(bytes);  // no key: the current one
    auto other = Fresh();
    other->Key(u"kept key");
    EXPECT_TRUE(other->DecryptByte(bytes));
    EXPECT_EQ(bytes, data);
}

// The warnings name the characters a cipher does not read: past the count, none changes the
// block function; the last one counted does.
TEST_P(EngineContract, KeyScheduleAndKeyTextStayOutOfSwapWhileTheEngineLives) {
    engine.reset();
    const auto before = LockedBytes();
    {
        auto keyed = CreateEngine(GetParam());
        keyed->Key(Keys[3]);  // long enough that its text is kept on the heap
        if (before) {
            EXPECT_GT(*LockedBytes(), *before);
        }
#ifdef _WIN32
        // Windows unlocks only pages that are locked (wine unlocks any); locked again after.
        EXPECT_TRUE(VirtualUnlock(keyed.get(), 1));
        VirtualLock(keyed.get(), 1);
#endif
    }
    EXPECT_EQ(LockedBytes(), before);
}

TEST_P(EngineContract, KeyCharactersPastTheCountChangeNothing) {
    const std::size_t n = KeyCharactersUsed(GetParam());
    const auto block = [&](const std::u16string& key) {
        auto e = Fresh();
        e->Key(key);
        std::array<std::uint8_t, 16> b{};
        e->RawEncryptBlock(b.data());
        return b;
    };
    const std::u16string key(n, u'k');
    EXPECT_EQ(block(key), block(key + u"x"));
    EXPECT_NE(block(key), block(key.substr(0, n - 1) + u"m"));
    EXPECT_EQ(KeyLengthWarning(GetParam(), n), "");
    EXPECT_EQ(KeyLengthWarning(GetParam(), n + 1),
              ToUtf8(GetParam()) + " uses only the first " + std::to_string(n) + " characters of the key");
}

TEST_P(EngineContract, StringsCarryEveryByteValue) {
    ByteArray all(256);
    for (std::size_t i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    const std::u16string text = AnsiCodePage::BytesToText(all);
    for (const auto& key : Keys) {
        const std::u16string cipher = engine->EncryptString(text, key);
        EXPECT_EQ(cipher.size(), frame::FrameLength(256, B));
        EXPECT_EQ(Fresh()->DecryptString(cipher, key), text);
    }
    EXPECT_EQ(Fresh()->DecryptString(engine->EncryptString(u"", u"k"), u"k"), u"");
}

TEST_P(EngineContract, EmptyArrayOnANewInstance) {
    ByteArray bytes;
    if (B == 8) {
        // The initial key state works: 16 bytes that a new instance opens again.
        engine->EncryptByte(bytes);
        EXPECT_EQ(bytes.size(), 16u);
        EXPECT_TRUE(Fresh()->DecryptByte(bytes));
        EXPECT_TRUE(bytes.empty());
    } else {
        // No key yet: refused before anything is framed.
        const auto failure = FailureOf([&] { engine->EncryptByte(bytes); });
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Number(), Failure::SubscriptOutOfRange);
        EXPECT_TRUE(bytes.empty());
    }
}

TEST_P(EngineContract, EqualMessagesEncryptDifferently) {
    const ByteArray data = Pattern(37, 2);
    ByteArray a = data, b = data;
    engine->EncryptByte(a, u"same");
    engine->EncryptByte(b, u"same");
    EXPECT_NE(a, b);
    // The random words differ, and so does every block after them.
    EXPECT_NE(ByteArray(a.end() - static_cast<std::ptrdiff_t>(B), a.end()),
              ByteArray(b.end() - static_cast<std::ptrdiff_t>(B), b.end()));
    EXPECT_TRUE(engine->DecryptByte(a));
    EXPECT_TRUE(engine->DecryptByte(b));
    EXPECT_EQ(a, data);
    EXPECT_EQ(b, data);
}

TEST_P(EngineContract, DamageGarblesOneBlockAndFlipsTheSameBitOfTheNext) {
    const ByteArray data = Pattern(6 * B, 3);
    ByteArray cipher = data;
    engine->EncryptByte(cipher, u"damage");
    // The first block wholly after the header, so that the stored length survives.
    const std::size_t k = (frame::HeaderSize + B - 1) / B;
    const std::size_t bit = 5;
    cipher[k * B + 2] ^= static_cast<std::uint8_t>(1u << bit);
    ASSERT_TRUE(engine->DecryptByte(cipher));
    ASSERT_EQ(cipher.size(), data.size());
    const std::size_t garbledFrom = k * B - frame::HeaderSize;  // data offset of block k
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i >= garbledFrom && i < garbledFrom + B)
            continue;
        const std::uint8_t expected =
            (i == garbledFrom + B + 2) ? static_cast<std::uint8_t>(data[i] ^ (1u << bit)) : data[i];
        EXPECT_EQ(cipher[i], expected) << "byte " << i;
    }
    EXPECT_NE(ByteArray(cipher.begin() + garbledFrom, cipher.begin() + garbledFrom + B),
              ByteArray(data.begin() + garbledFrom, data.begin() + garbledFrom + B));
}

TEST_P(EngineContract, WrongKeyIsReportedOnceAndReturnsTheWholeFrame) {
    ByteArray bytes = Pattern(45, 4);
    engine->EncryptByte(bytes, u"right key");
    const std::size_t T = bytes.size();
    auto other = Fresh();
    int reports = 0;
    std::vector<int> progress;
    other->WrongKey = [&](std::u16string_view text) {
        ++reports;
        EXPECT_EQ(text, Engine::WrongKeyText);
    };
    other->Progress = [&](std::int32_t p) { progress.push_back(p); };
    const ByteArray cipher = bytes;
    EXPECT_FALSE(other->DecryptByte(bytes, u"wrong key"));
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(bytes, CbcDecrypt(cipher, B, EngineBlock(*other, false)))
        << "the whole decrypted frame, header and padding included";
    std::vector<int> unfinished = ExpectedProgress(T, B);
    unfinished.pop_back();
    EXPECT_EQ(progress, unfinished) << "no closing 100";

    const std::u16string text = engine->EncryptString(u"a message", u"right key");
    EXPECT_EQ(other->DecryptString(text, u"wrong key").size(), text.size());
    EXPECT_EQ(reports, 2);
}

TEST_P(EngineContract, PartialBlocksGiveError9AndChangeNothing) {
    ByteArray valid = Pattern(80, 5);
    engine->EncryptByte(valid, u"partial");
    int reports = 0, progress = 0;
    engine->WrongKey = [&](std::u16string_view) { ++reports; };
    engine->Progress = [&](std::int32_t) { ++progress; };
    std::vector<std::size_t> lengths = {0,         1,         B - 1,     B + 1,     12,        2 * B - 1,
                                        2 * B + 1, 2 * B + 3, 3 * B - 1, 4 * B - 1, 5 * B + 1, valid.size() - 1};
    if (B < 16)
        lengths.push_back(B);  // whole blocks, but less than a header and its padding
    for (std::size_t T : lengths) {
        ByteArray bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(T));
        const ByteArray before = bytes;
        const auto failure = FailureOf([&] { engine->DecryptByte(bytes); });
        ASSERT_TRUE(failure) << "T = " << T;
        EXPECT_EQ(failure->Number(), Failure::SubscriptOutOfRange) << "T = " << T;
        EXPECT_EQ(bytes, before) << "T = " << T;
    }
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(progress, 0);
    // Whole blocks cut from a longer frame are a frame of the wrong length, not an error.
    ByteArray cut(valid.begin(), valid.begin() + 32);
    EXPECT_FALSE(engine->DecryptByte(cut));
}

// Where the engine's cipher is a standard one, its block function is the reference's over
// random keys: DES's of 8 bytes, Skipjack's of 10, Twofish's of 9 to 40 (every class, cut).
TEST_P(EngineContract, BlockFunctionMatchesTheReferenceLibrary) {
#ifndef TAVORIN_HAVE_CRYPTOPP
    GTEST_SKIP() << "Crypto++ not available";
#else
    std::mt19937 rng(1998);
    for (std::size_t k = 0; k < 320; ++k) {
        const ByteArray key = RandomBytes(rng, B == 16 ? 9 + k % 32 : GetParam() == u"DES" ? 8 : 10);
        const auto ref = StandardBlock(GetParam(), key);
        if (!ref)
            GTEST_SKIP() << "a cipher of its own";
        engine->Key(TextOf(key));
        for (int i = 0; i < 4; ++i) {
            const ByteArray plain = RandomBytes(rng, B);
            ByteArray ours = plain, theirs(B);
            engine->RawEncryptBlock(ours.data());
            ref->Encrypt(plain.data(), theirs.data());
            ASSERT_EQ(ToHex(ours), ToHex(theirs)) << "key " << ToHex(key) << " block " << ToHex(plain);
            engine->RawDecryptBlock(ours.data());
            ASSERT_EQ(ours, plain);
        }
    }
#endif
}

// Where the engine's cipher is a standard one: its frames open by plain CBC of the reference
// (all-zero starting block), and the reference's CBC of a frame opens with the engine, which
// (with a progress handler) takes the blocks in several runs. Keys: DES's cut to 8 bytes,
// Skipjack's of 10, Twofish's of every standard class.
TEST_P(EngineContract, FramesAgreeWithTheReferenceLibrary) {
#ifndef TAVORIN_HAVE_CRYPTOPP
    GTEST_SKIP() << "Crypto++ not available";
#else
    std::mt19937 rng(7);
    for (std::size_t L = 0; L <= 150; L += (L < 40 ? 1 : 11)) {
        const ByteArray key = RandomBytes(rng, B == 16 ? 16 + L % 17 : 10);
        const auto ref = StandardBlock(GetParam(), key);
        if (!ref)
            GTEST_SKIP() << "a cipher of its own";
        const ByteArray data = RandomBytes(rng, L);
        auto ours = Fresh();
        std::vector<std::int32_t> progress;
        if (L % 2 == 1)
            ours->Progress = [&](std::int32_t p) { progress.push_back(p); };
        ByteArray sealed = data;
        ours->EncryptByte(sealed, TextOf(key));
        const ByteArray opened = CbcDecrypt(sealed, B, ref->Decrypt);
        ASSERT_EQ(opened.size(), frame::FrameLength(L, B));
        EXPECT_EQ(StoredLength(opened), L);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), opened.begin() + 12));
        EXPECT_TRUE(std::all_of(opened.begin() + 12 + static_cast<std::ptrdiff_t>(L), opened.end(),
                                [](std::uint8_t b) { return b == 0; }));

        ByteArray theirs = CbcEncrypt(PlainFrame(data, B), B, ref->Encrypt);
        EXPECT_TRUE(ours->DecryptByte(theirs));
        EXPECT_EQ(theirs, data) << "L = " << L;
        EXPECT_TRUE(L % 2 == 0 || progress.back() == 100) << "L = " << L;
    }
#endif
}

TEST_P(EngineContract, FileRoundTrip) {
    TempDir dir;
    for (std::size_t L : {std::size_t{0}, std::size_t{1000}, (std::size_t{1} << 20) + 17}) {
        const ByteArray data = Pattern(L, 6);
        WriteFile(dir / "plain", data);
        engine->EncryptFile(dir / "plain", dir / "cipher", u"file key");
        EXPECT_EQ(std::filesystem::file_size(dir / "cipher"), frame::FrameLength(L, B));
        EXPECT_TRUE(Fresh()->DecryptFile(dir / "cipher", dir / "back", u"file key"));
        EXPECT_EQ(ReadFile(dir / "back"), data) << "L = " << L;
    }
    EXPECT_EQ(dir.Entries(), 3u);
}

INSTANTIATE_TEST_SUITE_P(AllEngines, EngineContract, ::testing::ValuesIn(EngineNames), Name);
