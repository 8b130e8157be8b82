// Skipjack: the key rule (period n, 128 bytes, the refused empty key); the block function
// and frames against Crypto++ are in the engine contract.
#include <gtest/gtest.h>

#include <algorithm>

#include "FrameOracle.h"
#include "ReferenceCiphers.h"
#include "Vectors.h"
#include "base/Failure.h"
#include "engines/clsSkipjack.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

ByteArray FingerprintOf(std::u16string_view key) { return test::FingerprintOf<clsSkipjack>(key); }

}  // namespace

#ifdef TAVORIN_HAVE_CRYPTOPP

TEST(Skipjack, FreshInstanceUsesAllZeroKeyBytes) {
    clsSkipjack fresh;
    EXPECT_NO_THROW(fresh.Key(u""));  // empty over empty: nothing happens
    const auto zero = StandardBlock(u"Skipjack", ByteArray(10, 0));
    ByteArray sealed;
    fresh.EncryptByte(sealed);
    ASSERT_EQ(sealed.size(), 16u);
    EXPECT_EQ(StoredLength(CbcDecrypt(sealed, 8, zero->Decrypt)), 0u);
}

#endif  // TAVORIN_HAVE_CRYPTOPP

TEST(Skipjack, KeyRuleEquivalences) {
    EXPECT_EQ(FingerprintOf(u"abcde"), FingerprintOf(u"abcdeabcde"));
    EXPECT_EQ(FingerprintOf(u"xy"), FingerprintOf(u"xyxyxyxyxyxyxy"));
    // A key of more than ten characters takes part with all its bytes.
    EXPECT_NE(FingerprintOf(u"0123456789A"), FingerprintOf(u"0123456789B"));
    EXPECT_NE(FingerprintOf(u"0123456789A"), FingerprintOf(u"0123456789"));

    std::u16string k128(128, u'k');
    k128[127] = u'z';
    std::u16string other = k128;
    other[127] = u'y';
    EXPECT_NE(FingerprintOf(k128), FingerprintOf(other)) << "the 128th byte counts";
    EXPECT_EQ(FingerprintOf(k128), FingerprintOf(k128 + u"anything after byte 128"));
}

TEST(Skipjack, KeyTextIsNormalisedBeforeItsPeriodIsTaken) {
    // "e" + combining acute is the one byte of "é": a key of three bytes, not four.
    EXPECT_EQ(FingerprintOf(u"ab\u00E9"), FingerprintOf(u"abe\u0301"));
    EXPECT_EQ(FingerprintOf(u"abe\u0301"), FingerprintOf(u"ab\u00E9ab\u00E9"));
}

TEST(Skipjack, EmptyKeyOverACurrentKeyIsRefusedAndChangesNothing) {
    clsSkipjack e;
    e.Key(u"secret key");
    const auto before = Fingerprint(e);
    const auto f = FailureOf([&] { e.Key(u""); });
    ASSERT_TRUE(f) << "empty key accepted";
    EXPECT_EQ(f->Number(), Failure::ObjectError);
    EXPECT_EQ(f->Number(), -2147221504);
    EXPECT_EQ(f->Description(), "Invalid key given to SkipJack encryption or decryption (Zero Length)");
    EXPECT_EQ(Fingerprint(e), before);
    // The same key again is still the current key, and empty arguments keep it.
    ByteArray data{1, 2, 3};
    e.EncryptByte(data);
    e.Key(u"secret key");
    EXPECT_TRUE(e.DecryptByte(data, u""));
    EXPECT_EQ(data, (ByteArray{1, 2, 3}));
}

TEST(Skipjack, UnconvertibleKeyTextChangesNothing) {
    clsSkipjack e;
    e.Key(u"first");
    const auto before = Fingerprint(e);
    const auto f = FailureOf([&] { e.Key(u"\u0141\u00F3d\u017A"); });
    ASSERT_TRUE(f) << "key outside the code page accepted";
    EXPECT_EQ(f->Number(), Failure::InvalidArgument);
    EXPECT_EQ(Fingerprint(e), before);
}

TEST(Skipjack, ReKeyingLeavesNoTraceOfTheEarlierKey) {
    clsSkipjack e;
    std::u16string longKey;
    for (int i = 0; i < 128; ++i)
        longKey.push_back(static_cast<char16_t>(u'!' + i % 90));
    e.Key(longKey);
    e.Key(u"ab");
    EXPECT_EQ(Fingerprint(e), FingerprintOf(u"ab"));
    e.Key(longKey);
    EXPECT_EQ(Fingerprint(e), FingerprintOf(longKey));
}

// Decryption runs several blocks at a time; every count of blocks and every split point
// must give what single blocks give.
