// The Blowfish engine: its initial tables, its key rule and its block function.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "FrameOracle.h"
#include "Vectors.h"
#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/clsBlowfish.h"

#ifdef TAVORIN_HAVE_CRYPTOPP
#include <cryptopp/blowfish.h>
#endif

using namespace tavorin;
using namespace tavorin::test;

namespace {

using blowfish::Tables;

// The published cipher: boxes filled box after box, key bytes taken as plain big-endian words.
Tables StandardTables(const ByteArray& key) {
    const auto& W = blowfish::PiWords();
    Tables t{};
    for (std::size_t i = 0; i < 18; ++i)
        t.PArray[i] = W[i];
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t.SBoxes[k][i] = W[18 + 256 * k + i];
    std::size_t j = 0;
    for (std::size_t i = 0; i < 18; ++i) {
        std::uint32_t w = 0;
        for (int b = 0; b < 4; ++b, j = (j + 1) % key.size())
            w = (w << 8) | key[j];
        t.PArray[i] ^= w;
    }
    t.Expand();
    return t;
}

const bool registered = RegisterVectorRunner("Blowfish-standard", [](const VectorRecord& r) {
    const Tables t = StandardTables(FromHex(r.at("Key")));
    const ByteArray in = FromHex(r.at("In"));
    std::uint32_t L = Module1::LoadBE32(in.data()), R = Module1::LoadBE32(in.data() + 4);
    t.Encrypt(L, R);
    ByteArray out(8);
    Module1::StoreBE32(out.data(), L);
    Module1::StoreBE32(out.data() + 4, R);
    EXPECT_EQ(ToHex(out), ToHex(FromHex(r.at("Out"))));
    t.Decrypt(L, R);
    EXPECT_EQ(L, Module1::LoadBE32(in.data()));
    EXPECT_EQ(R, Module1::LoadBE32(in.data() + 4));
});

bool SameTables(const Tables& a, const Tables& b) { return a.PArray == b.PArray && a.SBoxes == b.SBoxes; }

Tables TablesFor(std::u16string_view key) {
    clsBlowfish e;
    e.Key(key);
    return e.Tables();
}

ByteArray EncryptBlockWith(clsBlowfish& e, ByteArray block) {
    e.RawEncryptBlock(block.data());
    return block;
}

}  // namespace

TEST(BlowfishTables, PiWordsStartAsPublished) {
    const auto& W = blowfish::PiWords();
    const std::uint32_t P[18] = {0x243F6A88, 0x85A308D3, 0x13198A2E, 0x03707344, 0xA4093822, 0x299F31D0,
                                 0x082EFA98, 0xEC4E6C89, 0x452821E6, 0x38D01377, 0xBE5466CF, 0x34E90C6C,
                                 0xC0AC29B7, 0xC97C50DD, 0x3F84D5B5, 0xB5470917, 0x9216D5D9, 0x8979FB1B};
    for (std::size_t i = 0; i < 18; ++i) {
        EXPECT_EQ(W[i], P[i]) << i;
        EXPECT_EQ(clsBlowfish::InitialTables().PArray[i], P[i]) << i;
    }
}

TEST(BlowfishTables, InitialBoxesMatchCheckValues) {
    const std::uint32_t expected[4][5] = {
        {0xD1310BA6, 0xB8E1AFED, 0x24A19947, 0x636920D8, 0xB74E6132},
        {0x98DFB5AC, 0x6A267E96, 0xB3916CF7, 0x71574E69, 0xCE77E25B},
        {0x2FFD72DB, 0xBA7C9045, 0x0801F2E2, 0xA458FEA3, 0x578FDFE3},
        {0xD01ADFB7, 0xF12C7F99, 0x858EFC16, 0xF4933D7E, 0x3AC372E6},
    };
    const std::size_t entries[5] = {0, 1, 2, 3, 255};
    const Tables& t = clsBlowfish::InitialTables();
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t e = 0; e < 5; ++e)
            EXPECT_EQ(t.SBoxes[k][entries[e]], expected[k][e]) << "S" << k << "[" << entries[e] << "]";
    // A new instance starts from them and has no key yet.
    clsBlowfish fresh;
    EXPECT_TRUE(SameTables(fresh.Tables(), t));
}

TEST(BlowfishTables, StandardArrangementAgreesWithReferenceLibrary) {
#ifndef TAVORIN_HAVE_CRYPTOPP
    GTEST_SKIP() << "Crypto++ not available";
#else
    std::mt19937 rng(7);
    for (std::size_t keyLength : {4u, 5u, 8u, 16u, 56u}) {  // the library's key lengths
        ByteArray key(keyLength);
        for (auto& b : key)
            b = static_cast<std::uint8_t>(rng());
        const Tables t = StandardTables(key);
        CryptoPP::BlowfishEncryption oracle(key.data(), key.size());
        for (int n = 0; n < 20; ++n) {
            ByteArray in(8), theirs(8), ours(8);
            for (auto& b : in)
                b = static_cast<std::uint8_t>(rng());
            oracle.ProcessBlock(in.data(), theirs.data());
            std::uint32_t L = Module1::LoadBE32(in.data()), R = Module1::LoadBE32(in.data() + 4);
            t.Encrypt(L, R);
            Module1::StoreBE32(ours.data(), L);
            Module1::StoreBE32(ours.data() + 4, R);
            EXPECT_EQ(ToHex(ours), ToHex(theirs)) << "key length " << keyLength;
        }
    }
#endif
}

TEST(BlowfishKey, KeyWordsOrEachByteIntoTheOnesBefore) {
    // Built here from the closed form K0, K0|K1, K0|K1|K2, K0|K1|K2|K3 over a key whose bytes
    // have disjoint bits, so that a plain big-endian word would differ in every byte.
    const ByteArray key = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40};
    Tables expected = clsBlowfish::InitialTables();
    for (std::size_t i = 0; i < 18; ++i) {
        std::uint8_t k[4];
        for (std::size_t b = 0; b < 4; ++b)
            k[b] = key[(4 * i + b) % key.size()];
        const std::uint32_t w = (std::uint32_t{k[0]} << 24) | (std::uint32_t(k[0] | k[1]) << 16) |
                                (std::uint32_t(k[0] | k[1] | k[2]) << 8) | std::uint32_t(k[0] | k[1] | k[2] | k[3]);
        expected.PArray[i] ^= w;
    }
    expected.Expand();
    EXPECT_TRUE(SameTables(TablesFor(AnsiCodePage::BytesToText(key)), expected));
}

TEST(BlowfishKey, EquivalentKeys) {
    // a's bits are all in q, and every key word becomes four q bytes.
    EXPECT_TRUE(SameTables(TablesFor(u"q"), TablesFor(u"qq")));
    EXPECT_TRUE(SameTables(TablesFor(u"q"), TablesFor(u"qa")));
    // The key is used cyclically.
    EXPECT_TRUE(SameTables(TablesFor(u"ab"), TablesFor(u"abab")));
    EXPECT_TRUE(SameTables(TablesFor(u"abc"), TablesFor(u"abcabcabc")));
    // Different keys do differ, and do differ from no key.
    EXPECT_FALSE(SameTables(TablesFor(u"ab"), TablesFor(u"ba")));
    EXPECT_FALSE(SameTables(TablesFor(u"a"), TablesFor(u"b")));
    EXPECT_FALSE(SameTables(TablesFor(u"q"), clsBlowfish::InitialTables()));

    clsBlowfish q, qa;
    q.Key(u"q");
    qa.Key(u"qa");
    const ByteArray block = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(EncryptBlockWith(q, block), EncryptBlockWith(qa, block));
}

TEST(BlowfishKey, OnlyTheFirst72BytesCount) {
    std::u16string base;
    for (int i = 0; i < 68; ++i)
        base += static_cast<char16_t>(u'!' + (i * 7) % 90);
    base += u"0000";
    EXPECT_TRUE(SameTables(TablesFor(base), TablesFor(base + u"tail")));
    EXPECT_TRUE(SameTables(TablesFor(base + u"x"), TablesFor(base + u"y")));
    // The 72nd byte still counts when it adds a bit to the three before it in its word.
    std::u16string other = base;
    other[71] = u'1';
    EXPECT_FALSE(SameTables(TablesFor(base), TablesFor(other)));
}

TEST(BlowfishKey, RekeyingStartsFromTheInitialTables) {
    clsBlowfish e;
    e.Key(u"first key");
    e.Key(u"second key");
    e.Key(u"first key");
    EXPECT_TRUE(SameTables(e.Tables(), TablesFor(u"first key")));
}

TEST(BlowfishKey, EmptyKey) {
    clsBlowfish e;
    e.Key(u"");  // no current key: nothing happens
    EXPECT_TRUE(SameTables(e.Tables(), clsBlowfish::InitialTables()));

    e.Key(u"secret");
    const Tables keyed = e.Tables();
    const auto failure = FailureOf([&] { e.Key(u""); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Number(), Failure::SubscriptOutOfRange);
    EXPECT_TRUE(SameTables(e.Tables(), keyed));
    // The current key is now empty: a second empty key does nothing, and the same key
    // schedules again to the same tables.
    EXPECT_NO_THROW(e.Key(u""));
    e.Key(u"secret");
    EXPECT_TRUE(SameTables(e.Tables(), keyed));

    // Byte operations with an empty key keep the current key.
    ByteArray data = {'h', 'i'};
    e.EncryptByte(data);
    clsBlowfish other;
    EXPECT_TRUE(other.DecryptByte(data, u"secret"));
    EXPECT_EQ(data, (ByteArray{'h', 'i'}));
}

TEST(BlowfishKey, KeyTextThroughTheCodePage) {
    // Composed and decomposed forms of one letter are one key; the Windows-1252 byte counts.
    EXPECT_TRUE(SameTables(TablesFor(u"caf\u00E9"), TablesFor(u"cafe\u0301")));
    EXPECT_TRUE(SameTables(TablesFor(u"\u20AC"), TablesFor(AnsiCodePage::BytesToText(ByteArray{0x80}))));

    // A character the code page cannot hold is refused and changes nothing.
    clsBlowfish e;
    e.Key(u"kept");
    const Tables keyed = e.Tables();
    const auto refused = FailureOf([&] { e.Key(u"\u0141ukasz"); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Number(), Failure::InvalidArgument);
    EXPECT_TRUE(SameTables(e.Tables(), keyed));
    ByteArray data = {42};
    e.EncryptByte(data);
    EXPECT_TRUE(clsBlowfish().DecryptByte(data, u"kept"));
}

TEST(BlowfishBlock, DecryptInvertsEncryptForManyKeys) {
    std::mt19937 rng(11);
    for (int k = 0; k < 20; ++k) {
        std::u16string key;
        const int length = 1 + static_cast<int>(rng() % 80);
        for (int i = 0; i < length; ++i)
            key += static_cast<char16_t>(0x20 + rng() % 0x5F);
        clsBlowfish e;
        e.Key(key);
        for (int n = 0; n < 50; ++n) {
            ByteArray block(8);
            for (auto& b : block)
                b = static_cast<std::uint8_t>(rng());
            ByteArray copy = block;
            e.EncryptBlock(copy.data());
            EXPECT_NE(copy, block);
            e.DecryptBlock(copy.data());
            EXPECT_EQ(copy, block);
        }
    }
}

// The CBC chains of several blocks at once (encryption through BEXTR where the CPU has it,
// and through shifts) against one block at a time by the published rounds.
TEST(BlowfishBlock, GroupedCbcMatchesOneBlockAtATimeOnEveryPath) {
    clsBlowfish e;
    e.Key(u"grouped");
    std::mt19937 rng(3);
    const bool original = clsBlowfish::UsesBextr();
    for (const bool bextr : {false, true}) {
        if (!clsBlowfish::SelectBextr(bextr)) {
            EXPECT_TRUE(bextr);  // only the faster path may be missing
            continue;
        }
        for (std::size_t blocks = 0; blocks <= 19; ++blocks) {
            const ByteArray data = RandomBytes(rng, 8 * blocks), iv = RandomBytes(rng, 8);
            const auto last = [&](const ByteArray& c) { return blocks ? ByteArray(c.end() - 8, c.end()) : iv; };
            const ByteArray expected = CbcEncrypt(data, 8, EngineBlock(e), iv);
            ByteArray chained = data, chain = iv;
            e.EncryptBlocksCBC(chained.data(), blocks, chain.data());
            EXPECT_EQ(chained, expected) << blocks << " blocks, bextr " << bextr;
            EXPECT_EQ(chain, last(expected)) << blocks << " blocks, bextr " << bextr;

            ByteArray grouped = data;
            chain = iv;
            e.DecryptBlocksCBC(grouped.data(), blocks, chain.data());
            EXPECT_EQ(grouped, CbcDecrypt(data, 8, EngineBlock(e, false), iv)) << blocks << " blocks";
            EXPECT_EQ(chain, last(data)) << blocks << " blocks";
        }
    }
    clsBlowfish::SelectBextr(original);
}
