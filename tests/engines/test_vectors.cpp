// Every published vector of tests/data/*.vec, run by one parameterised test. A section is
// run by the runner of its name; a new cipher adds its vectors and, at most, one line below.
#include <gtest/gtest.h>

#include <functional>

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

using Runner = std::function<void(const VectorRecord&)>;

std::map<std::string, Runner>& Runners() {
    static std::map<std::string, Runner> runners = {
        {"DES", [](const VectorRecord& r) { RunBlockVector(r, u"DES"); }},
        {"Skipjack", [](const VectorRecord& r) { RunBlockVector(r, u"Skipjack"); }},
        {"Twofish", [](const VectorRecord& r) { RunBlockVector(r, u"Twofish"); }},
        {"Twofish-iterated", [](const VectorRecord& r) { RunIteratedVector(r, u"Twofish", 49); }},
        {"Format-frame", RunFrameRecord},
    };
    return runners;
}

class PublishedVector : public ::testing::TestWithParam<VectorRecord> {};

std::string VectorName(const ::testing::TestParamInfo<VectorRecord>& info) {
    std::string name = info.param.section + "_line" + std::to_string(info.param.line);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

}  // namespace

// Other test files register runners for sections that need their own code.
bool RegisterVectorRunner(const std::string& section, Runner runner) {
    Runners()[section] = std::move(runner);
    return true;
}

TEST_P(PublishedVector, Matches) {
    const VectorRecord& r = GetParam();
    const auto it = Runners().find(r.section);
    ASSERT_NE(it, Runners().end()) << "no runner for section [" << r.section << "]";
    it->second(r);
}

INSTANTIATE_TEST_SUITE_P(Data, PublishedVector, ::testing::ValuesIn(LoadAllVectors()), VectorName);
