// The runners of the engines' sections of the published vectors (tests/data/*.vec): block
// functions, iterated chains and frames. A new cipher adds its vectors and, at most, one line
// below.
#include <gtest/gtest.h>

#include "FrameOracle.h"
#include "ReferenceCiphers.h"
#include "Vectors.h"
#include "base/AnsiCodePage.h"
#include "engines/Registry.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

// Key bytes become key text one character per byte, so that the engine's code page gives
// exactly these bytes back.
std::u16string KeyText(const ByteArray& key) { return AnsiCodePage::BytesToText(key); }

// Key/In/Out through one engine's block function.
void RunBlockVector(const VectorRecord& r, std::u16string_view engineName) {
    auto engine = CreateEngine(engineName);
    ASSERT_NE(engine, nullptr);
    engine->Key(KeyText(FromHex(r.at("Key"))));
    ByteArray block = FromHex(r.at("In"));
    ASSERT_EQ(block.size(), engine->BlockSize());
    engine->RawEncryptBlock(block.data());
    EXPECT_EQ(ToHex(block), ToHex(FromHex(r.at("Out"))));
    engine->RawDecryptBlock(block.data());
    EXPECT_EQ(ToHex(block), ToHex(FromHex(r.at("In"))));
}

// The iterated chains: key and plaintext start at zero; each step's ciphertext becomes the
// next plaintext, and the key becomes (old plaintext followed by old key) cut to Bits/8 bytes.
void RunIteratedVector(const VectorRecord& r, std::u16string_view engineName, int steps) {
    auto engine = CreateEngine(engineName);
    ASSERT_NE(engine, nullptr);
    const std::size_t keyBytes = static_cast<std::size_t>(std::stoi(r.at("Bits")) / 8);
    ByteArray key(keyBytes), pt(engine->BlockSize()), ct;
    for (int i = 0; i < steps; ++i) {
        engine->Key(KeyText(key));
        ct = pt;
        engine->RawEncryptBlock(ct.data());
        ByteArray next(pt);
        next.insert(next.end(), key.begin(), key.end());
        next.resize(keyBytes);
        key = next;
        pt = ct;
    }
    EXPECT_EQ(ToHex(ct), ToHex(FromHex(r.at("Out"))));
}

// format.vec [Format-frame]: the record's frame is the tests' model of a frame with its header
// words, chained through the engine's block function (and through the standard cipher, where
// the key makes one), and the engine opens it to the message.
void RunFrameRecord(const VectorRecord& r) {
    const std::u16string name = FromUtf8(r.at("Engine")), key = FromUtf8(r.at("Key"));
    const ByteArray message = AnsiCodePage::TextToBytes(FromUtf8(r.at("Message")));
    const std::vector<std::uint32_t> words = HexWords(r.at("Words"));
    const std::string frame = ToHex(FromHex(r.at("Frame")));
    auto engine = CreateEngine(name);
    ASSERT_TRUE(engine && words.size() == 2);
    engine->Key(key);
    const std::size_t B = engine->BlockSize();
    EXPECT_EQ(ToHex(SealedFrame(message, B, words[0], words[1], EngineBlock(*engine))), frame);
#ifdef TAVORIN_HAVE_CRYPTOPP
    if (const auto reference = StandardBlock(name, AnsiCodePage::NormalizedTextToBytes(key))) {
        EXPECT_EQ(ToHex(SealedFrame(message, B, words[0], words[1], reference->Encrypt)), frame) << "Crypto++";
    }
#endif
    ByteArray opened = FromHex(frame);
    EXPECT_TRUE(CreateEngine(name)->DecryptByte(opened, key));
    EXPECT_EQ(opened, message);
}

// Registered before the tests are listed (tests/PublishedVectors.cpp).
[[maybe_unused]] const bool registered = [] {
    RegisterVectorRunner("DES", [](const VectorRecord& r) { RunBlockVector(r, u"DES"); });
    RegisterVectorRunner("Skipjack", [](const VectorRecord& r) { RunBlockVector(r, u"Skipjack"); });
    RegisterVectorRunner("Twofish", [](const VectorRecord& r) { RunBlockVector(r, u"Twofish"); });
    RegisterVectorRunner("Twofish-iterated", [](const VectorRecord& r) { RunIteratedVector(r, u"Twofish", 49); });
    RegisterVectorRunner("Format-frame", RunFrameRecord);
    return true;
}();

}  // namespace
