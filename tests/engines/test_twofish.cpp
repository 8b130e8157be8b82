// Twofish: the key-size classes of the key rule (short keys all counting) and the unkeyed
// instance; the block function and frames against Crypto++ are in the engine contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <limits>

#include "FrameOracle.h"
#include "ReferenceCiphers.h"
#include "TempDir.h"
#include "Vectors.h"
#include "base/Failure.h"
#include "engines/clsTwofish.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

using Block = std::array<std::uint8_t, 16>;

[[maybe_unused]] Block EncryptedWith(clsTwofish& e, Block b) {  // only against Crypto++
    e.RawEncryptBlock(b.data());
    return b;
}

ByteArray FingerprintOf(std::u16string_view key, std::int32_t minKeyLength = 0) {
    return test::FingerprintOf<clsTwofish>(key, minKeyLength);
}

std::u16string Padded(std::u16string key, std::size_t n) {
    key.resize(n, u'\0');
    return key;
}

}  // namespace

#ifdef TAVORIN_HAVE_CRYPTOPP

TEST(Twofish, MinKeyLengthRaisesTheClassWithZeroBytes) {
    const auto ref = StandardBlock(u"Twofish", ByteArray{'a', 'b', 'c', 'd', 'e', 0, 0, 0, 0});
    clsTwofish ours;
    ours.Key(u"abcde", 128);
    Block p{}, expected;
    ref->Encrypt(p.data(), expected.data());
    EXPECT_EQ(EncryptedWith(ours, p), expected);
}

#endif  // TAVORIN_HAVE_CRYPTOPP

TEST(Twofish, KeySizeClassesByLength) {
    // 9 to 16 characters are zero-padded to 16 bytes, 17 to 24 to 24, 25 to 32 to 32.
    EXPECT_EQ(FingerprintOf(u"123456789"), FingerprintOf(Padded(u"123456789", 16)));
    const std::u16string k17 = u"0123456789abcdefg";
    EXPECT_EQ(FingerprintOf(k17), FingerprintOf(Padded(k17, 24)));
    EXPECT_NE(FingerprintOf(k17), FingerprintOf(Padded(k17, 32)));
    const std::u16string k30 = u"0123456789abcdefghijklmnopqrst";
    EXPECT_EQ(FingerprintOf(k30), FingerprintOf(Padded(k30, 32)));
    // 40 characters: only the first 32 count.
    const std::u16string k32 = u"0123456789abcdefghijklmnopqrstuv";
    EXPECT_EQ(FingerprintOf(k32 + u"ABCDEFGH"), FingerprintOf(k32));
    EXPECT_EQ(FingerprintOf(k32 + u"ABCDEFGH"), FingerprintOf(k32 + u"12345678"));
    EXPECT_NE(FingerprintOf(k32), FingerprintOf(u"0123456789abcdefghijklmnopqrstuV"));
}

TEST(Twofish, EightByteKeysHaveTheirOwnShortChain) {
    // Not the same as the same bytes padded to a 16-byte key...
    EXPECT_NE(FingerprintOf(u"abcdefgh"), FingerprintOf(Padded(u"abcdefgh", 16)));
    EXPECT_NE(FingerprintOf(u"abcde"), FingerprintOf(Padded(u"abcde", 16)));
    // ...but 5 to 7 characters are padded to eight bytes.
    EXPECT_EQ(FingerprintOf(u"abcde"), FingerprintOf(Padded(u"abcde", 8)));
    EXPECT_NE(FingerprintOf(u"abcdefgh"), FingerprintOf(u"abcdefgi"));
    // No library has this class; these values come from a separate model of the cipher
    // written with plain field arithmetic (stored envelopes depend on them).
    struct Known {
        std::u16string key;
        const char* in;
        const char* out;
    };
    const Known known[] = {
        {Padded(u"", 8), "00000000000000000000000000000000", "515B78C06EA3F058434C507310C2D874"},
        {u"abcdefgh", "000102030405060708090A0B0C0D0E0F", "D722DC5344500DBDBBCB22FD51FD37DC"},
        {u"Tavo", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", "1222035C73E48A78B3AEFD41EF2AECD6"},
    };
    for (const Known& k : known) {
        clsTwofish e;
        e.Key(k.key);
        ByteArray b = FromHex(k.in);
        e.RawEncryptBlock(b.data());
        EXPECT_EQ(ToHex(b), k.out);
        e.RawDecryptBlock(b.data());
        EXPECT_EQ(ToHex(b), k.in);
    }
}

TEST(Twofish, EveryCharacterOfAShortKeyCounts) {
    const auto a = FingerprintOf(u"a");
    EXPECT_NE(a, FingerprintOf(u"b"));
    EXPECT_NE(FingerprintOf(u"abcd"), FingerprintOf(u"abce"));
    EXPECT_NE(FingerprintOf(u"abcd"), FingerprintOf(u"abc"));
    // Short keys are zero-extended to the eight-byte class, the empty text too.
    EXPECT_EQ(FingerprintOf(u"abc"), FingerprintOf(Padded(u"abc", 8)));
    EXPECT_EQ(FingerprintOf(u""), FingerprintOf(Padded(u"", 8)));
    // No trace of an earlier, longer key.
    clsTwofish e;
    e.Key(u"a much longer key of thirty-two!");
    e.Key(u"a");
    EXPECT_EQ(Fingerprint(e), a);
}

TEST(Twofish, MinKeyLengthExtremes) {
    EXPECT_EQ(FingerprintOf(u"abcdefghij", -5), FingerprintOf(u"abcdefghij"));
    EXPECT_EQ(FingerprintOf(u"abcdefghij", 64), FingerprintOf(u"abcdefghij"));
    EXPECT_EQ(FingerprintOf(u"ab", std::numeric_limits<std::int32_t>::max()), FingerprintOf(Padded(u"ab", 32)));
    EXPECT_EQ(FingerprintOf(u"ab", 129), FingerprintOf(Padded(u"ab", 24)));
}

TEST(Twofish, EveryKeyWriteSchedulesAgain) {
    clsTwofish e;
    e.Key(u"first key text");
    const auto first = Fingerprint(e);
    e.Key(u"second key text");
    e.Key(u"first key text");
    EXPECT_EQ(Fingerprint(e), first);
    // Each byte operation that brings a key schedules it, so another instance reads it.
    ByteArray data{9, 8, 7, 6, 5};
    e.EncryptByte(data, u"passes");
    clsTwofish other;
    EXPECT_TRUE(other.DecryptByte(data, u"passes"));
    EXPECT_EQ(data, (ByteArray{9, 8, 7, 6, 5}));
}

TEST(Twofish, UnkeyedInstanceFailsBeforeFraming) {
    clsTwofish e;
    const ByteArray original{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    auto expectSubscript = [](auto&& op) {
        const auto f = FailureOf(op);
        ASSERT_TRUE(f) << "an unkeyed instance worked";
        EXPECT_EQ(f->Number(), Failure::SubscriptOutOfRange);
    };
    ByteArray data = original;
    expectSubscript([&] { e.EncryptByte(data); });
    EXPECT_EQ(data, original);
    expectSubscript([&] { e.DecryptByte(data); });
    EXPECT_EQ(data, original);
    expectSubscript([&] { (void)e.EncryptString(u"text"); });
    Block b{};
    expectSubscript([&] { e.RawEncryptBlock(b.data()); });
    EXPECT_EQ(b, Block{});

    TempDir dir;
    { std::ofstream(dir / "in.bin") << "plain"; }
    expectSubscript([&] { e.EncryptFile(dir / "in.bin", dir / "out.bin"); });
    EXPECT_EQ(dir.Entries(), 1u);

    // A key given with the call is enough.
    EXPECT_NO_THROW(e.EncryptByte(data, u"k"));
}
