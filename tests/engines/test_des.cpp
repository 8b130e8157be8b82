// DES: the key rule and the unkeyed instance; the block function and frames against
// Crypto++ are in the engine contract.
#include <gtest/gtest.h>

#include <random>

#include "FrameOracle.h"
#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/clsDES.h"

#ifdef TAVORIN_HAVE_CRYPTOPP
#include <cryptopp/des.h>
#endif

using namespace tavorin;
using namespace tavorin::test;

namespace {

ByteArray FingerprintOf(std::u16string_view key) { return test::FingerprintOf<clsDES>(key); }

}  // namespace

#ifdef TAVORIN_HAVE_CRYPTOPP

TEST(DES, NewInstanceAndEmptyKeyAreTheAllZeroKey) {
    const ByteArray zero(8);
    CryptoPP::DES::Encryption enc(zero.data(), 8);
    std::uint8_t want[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    enc.ProcessBlock(want);

    clsDES fresh;
    std::uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    fresh.RawEncryptBlock(block);
    EXPECT_TRUE(std::equal(block, block + 8, want));

    clsDES reset;
    reset.Key(u"not zero");
    reset.Key(u"");
    std::uint8_t again[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    reset.RawEncryptBlock(again);
    EXPECT_TRUE(std::equal(again, again + 8, want));
}

#endif  // TAVORIN_HAVE_CRYPTOPP

TEST(DES, OnlyTheFirstEightCharactersCount) {
    EXPECT_EQ(FingerprintOf(u"password"), FingerprintOf(u"password1"));
    EXPECT_EQ(FingerprintOf(u"password"), FingerprintOf(u"passwordpassword and more"));
    EXPECT_NE(FingerprintOf(u"password"), FingerprintOf(u"passwork"));
}

TEST(DES, ShortKeysArePaddedWithZeroBytes) {
    EXPECT_EQ(FingerprintOf(u"abc"), FingerprintOf(std::u16string(u"abc\0\0\0\0\0", 8)));
    EXPECT_EQ(FingerprintOf(u""), FingerprintOf(std::u16string(8, u'\0')));
    EXPECT_NE(FingerprintOf(u"abc"), FingerprintOf(u"abc     "));
}

TEST(DES, ParityBitsAreIgnored) {
    std::mt19937 rng(3);
    for (int k = 0; k < 20; ++k) {
        const ByteArray key = RandomBytes(rng, 8);
        ByteArray flipped = key;
        for (int i = 0; i < 8; ++i) {
            if (rng() & 1)
                flipped[i] ^= 1;
        }
        EXPECT_EQ(FingerprintOf(TextOf(key)), FingerprintOf(TextOf(flipped)));
        ByteArray other = key;
        other[k % 8] ^= 2;  // not a parity bit
        EXPECT_NE(FingerprintOf(TextOf(key)), FingerprintOf(TextOf(other)));
    }
}

TEST(DES, RekeyingDependsOnTheNewKeyAlone) {
    clsDES des;
    des.Key(u"first");
    des.Key(u"second");
    des.Key(u"first");
    EXPECT_EQ(Fingerprint(des), FingerprintOf(u"first"));
    des.Key(u"first");  // the current key: nothing changes
    EXPECT_EQ(Fingerprint(des), FingerprintOf(u"first"));
}

TEST(DES, WeakKeysAreUsedAsTheyAre) {
    // Under a weak key encryption is its own inverse.
    for (const char16_t* key :
         {u"\u0001\u0001\u0001\u0001\u0001\u0001\u0001\u0001", u"\u00FE\u00FE\u00FE\u00FE\u00FE\u00FE\u00FE\u00FE"}) {
        clsDES des;
        des.Key(key);
        std::uint8_t block[8] = {9, 8, 7, 6, 5, 4, 3, 2};
        des.RawEncryptBlock(block);
        EXPECT_NE(block[0], 9);
        des.RawEncryptBlock(block);
        EXPECT_EQ(block[0], 9);
        EXPECT_EQ(block[7], 2);
    }
}

TEST(DES, RefusedKeyTextChangesNothing) {
    clsDES des;
    des.Key(u"kept key");
    const ByteArray before = Fingerprint(des);
    // Twice: the refused text must not become the current key, or the second call would
    // pass silently with the old schedule.
    for (int i = 0; i < 2; ++i) {
        try {
            des.Key(u"\u0141ukasz");
            FAIL() << "no failure";
        } catch (const Failure& f) {
            EXPECT_EQ(f.Number(), Failure::InvalidArgument);
        }
        EXPECT_EQ(Fingerprint(des), before);
    }
}
