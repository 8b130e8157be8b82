// The envelope made and opened on bytes, checked against the text-based way (engine string
// operations, the digest of the text, the hex codec) and against damage of every kind.
#include <gtest/gtest.h>

#include <random>

#include <set>

#include "FrameOracle.h"
#include "ReferenceCiphers.h"
#include "TempDir.h"
#include "Vectors.h"
#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "codecs/CSHA256.h"
#include "codecs/modHEX.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"
#include "envelope/Find.h"

using namespace tavorin;
using envelope::OpenStatus;

namespace {

std::vector<std::unique_ptr<Engine>> BuiltEngines() {
    std::vector<std::unique_ptr<Engine>> engines;
    for (const auto name : EngineNames) {
        if (auto e = CreateEngine(name)) {
            engines.push_back(std::move(e));
        }
    }
    return engines;
}

// The envelope as the text description builds it: the digest of the ciphertext's text in
// front of that text, through the codec with the separator " ".
std::string EnvelopeByText(const ByteArray& ciphertext) {
    const std::u16string C = AnsiCodePage::BytesToText(ciphertext);
    const std::u16string P = CSHA256().SHA256(C) + C;
    return ToUtf8(modHEX::StringToHex(P, u" "));
}

// An envelope's text read as the window reads it: its pairs, then OpenDecoded.
OpenStatus OpenPairs(Engine& engine, std::string_view text, std::u16string_view key, std::int32_t passes,
                     ByteArray& message) {
    message = envelope::DecodePairs(text);
    return envelope::OpenDecoded(engine, message, key, passes);
}

int FailureNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.Number();
    }
    return 0;
}

// An envelope of a fixed message under Blowfish (the engine every build has).
struct Sealed {
    std::unique_ptr<Engine> engine = CreateEngine(u"Blowfish");
    ByteArray message = {'M', 'e', 'e', 't', ' ', 'a', 't', ' ', 'n', 'o', 'o', 'n'};
    std::string text;
    Sealed() { text = envelope::MakeEnvelope(*engine, message, u"key", 1); }
    OpenStatus Open(std::string_view t, ByteArray& out) { return OpenPairs(*engine, t, u"key", 1, out); }
};

// format.vec [Format-envelope]: the envelope opens to the message, and the frames of the
// tests' model with the record's header words (two per pass, first pass first) make it.
const bool formatRunner = RegisterVectorRunner("Format-envelope", [](const test::VectorRecord& r) {
    const std::u16string key = FromUtf8(r.at("Key"));
    const ByteArray message = AnsiCodePage::TextToBytes(FromUtf8(r.at("Message")));
    const std::int32_t passes = std::stoi(r.at("Passes"));
    const std::vector<std::uint32_t> words = test::HexWords(r.at("Words"));
    const std::u16string name = FromUtf8(r.at("Engine"));
    auto engine = CreateEngine(name);
    ASSERT_TRUE(engine && words.size() == 2 * static_cast<std::size_t>(passes));
    ByteArray opened;
    EXPECT_EQ(OpenPairs(*engine, r.at("Envelope"), key, passes, opened), OpenStatus::Opened);
    EXPECT_EQ(opened, message);
    const auto seal = [&](const auto& block) {
        ByteArray c = message;
        for (std::size_t p = 0; p < words.size(); p += 2)
            c = test::SealedFrame(c, engine->BlockSize(), words[p], words[p + 1], block);
        return envelope::EnvelopeText(c);
    };
    engine->Key(key);
    EXPECT_EQ(seal(test::EngineBlock(*engine)), r.at("Envelope"));
#ifdef TAVORIN_HAVE_CRYPTOPP
    if (const auto reference = test::StandardBlock(name, AnsiCodePage::NormalizedTextToBytes(key))) {
        EXPECT_EQ(seal(reference->Encrypt), r.at("Envelope")) << "Crypto++";
    }
#endif
});

}  // namespace

TEST(Envelope, EqualsTheTextBasedConstruction) {
    // Every byte value, so that the 0x80-0x9F characters (U+20AC and friends) enter the digest.
    ByteArray all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(envelope::EnvelopeText(all), EnvelopeByText(all));

    for (auto& engine : BuiltEngines()) {
        for (std::size_t n : {0u, 1u, 7u, 100u, 1000u}) {
            ByteArray c = test::TestBytes(n, static_cast<std::uint32_t>(n));
            engine->EncryptByte(c, u"a key");
            EXPECT_EQ(envelope::EnvelopeText(c), EnvelopeByText(c)) << ToUtf8(engine->Name()) << " " << n;
        }
    }
}

// The envelope made while the chain runs is the plain envelope of the same ciphertext, and
// opens to the message.
TEST(Envelope, SealedWhileTheChainRunsEqualsThePlainEnvelope) {
    for (auto& engine : BuiltEngines()) {
        // Short messages are sealed on one thread, from 1 MiB on beside the chain.
        for (std::size_t n : {0u, 1u, 9u, 16371u, 70001u, (1u << 20) + 3u}) {
            for (const std::int32_t passes : {1, 2}) {
                const ByteArray message = test::TestBytes(n, static_cast<std::uint32_t>(n + 1));
                ByteArray bytes = message;
                std::string text;
                envelope::SealToSink(*engine, bytes, u"a key", passes,
                                     [&](const char* d, std::size_t k) { text.append(d, k); });
                const std::string where =
                    ToUtf8(engine->Name()) + " n=" + std::to_string(n) + " passes=" + std::to_string(passes);
                ASSERT_EQ(text.size(), envelope::EnvelopeLength(bytes.size())) << where;
                ByteArray decoded = envelope::DecodePairs(text);
                envelope::StripDigest(decoded);
                EXPECT_EQ(decoded, bytes) << where;
                EXPECT_EQ(text, envelope::EnvelopeText(decoded)) << where;
                ByteArray opened;
                EXPECT_EQ(OpenPairs(*engine, text, u"a key", passes, opened), OpenStatus::Opened) << where;
                EXPECT_EQ(opened, message) << where;
            }
        }
        EXPECT_FALSE(engine->Sealed);  // the hook is handed back
    }
}

// Pieces placed out of order put together give the plain envelope, and a failing output
// stops the sealing with its failure.
TEST(Envelope, PlacedPiecesMakeThePlainEnvelope) {
    for (auto& engine : BuiltEngines()) {
        for (std::size_t n : {0u, 16371u, 200001u, (1u << 20) + 5u}) {
            const ByteArray message = test::TestBytes(n, 5);
            ByteArray bytes = message;
            std::string text;
            std::size_t pieces = 0;
            const std::uint64_t length = envelope::SealToPlacedSink(
                *engine, bytes, u"placed", 1, [&](const char* d, std::size_t k, std::uint64_t at) {
                    if (text.size() < at + k)
                        text.resize(at + k, '\0');
                    text.replace(at, k, d, k);
                    ++pieces;
                });
            ASSERT_EQ(length, text.size());
            EXPECT_EQ(text, envelope::EnvelopeText(bytes)) << ToUtf8(engine->Name()) << " " << n;
            EXPECT_GT(pieces, n >> 20);  // in pieces, not whole
        }
    }
    auto engine = CreateEngine(u"Blowfish");
    ByteArray bytes(100000, 1);
    EXPECT_EQ(FailureNumber([&] {
                  envelope::SealToPlacedSink(*engine, bytes, u"k", 1, [](const char*, std::size_t, std::uint64_t) {
                      throw Failure(FailureKind::DeviceIO);
                  });
              }),
              Failure::DeviceIO);
    ByteArray large(3u << 20, 1);  // failing part way after the chain, while both threads make pairs
    int pieces = 0;
    EXPECT_EQ(FailureNumber([&] {
                  envelope::SealToSink(*engine, large, u"k", 1, [&](const char*, std::size_t) {
                      if (++pieces == 3)
                          throw Failure(FailureKind::DeviceIO);
                  });
              }),
              Failure::DeviceIO);
}

// A refused pass count starts nothing; a hook of the caller's is set aside and handed back.
TEST(Envelope, SealingRefusesBadPassCountsAndHandsTheHookBack) {
    auto engine = CreateEngine(u"Blowfish");
    ByteArray bytes = {1, 2, 3};
    std::string text;
    const auto sink = [&](const char* d, std::size_t k) { text.append(d, k); };
    EXPECT_EQ(FailureNumber([&] { envelope::SealToSink(*engine, bytes, u"k", 0, sink); }), Failure::InvalidArgument);
    engine->Sealed = [](const std::uint8_t*, std::size_t, std::size_t) { throw Failure(FailureKind::TooLarge); };
    envelope::SealToSink(*engine, bytes, u"k", 1, sink);
    EXPECT_TRUE(engine->Sealed);
    EXPECT_FALSE(text.empty());
}

TEST(Envelope, DigestReadsTheCharactersLowBytes) {
    // 0x80 is U+20AC and enters as 0xAC; 0x8A is U+0160 (0x60); 0x81 has no letter and stays.
    const std::uint8_t euro[] = {0x80}, ac[] = {0xAC};
    const auto d = envelope::CiphertextDigest(euro, 1);
    EXPECT_EQ(std::string(d.begin(), d.end()), CSHA256::DigestHex(ac, 1));
    EXPECT_NE(std::string(d.begin(), d.end()), CSHA256::DigestHex(euro, 1));

    const std::uint8_t mixed[] = {0x8A, 0x81, 0x41, 0x9F}, seen[] = {0x60, 0x81, 0x41, 0x78};
    const auto m = envelope::CiphertextDigest(mixed, 4);
    EXPECT_EQ(std::string(m.begin(), m.end()), CSHA256::DigestHex(seen, 4));

    // Across the slices the digest works in.
    ByteArray big = test::TestBytes(100000, 5);
    ByteArray mapped(big.size());
    for (std::size_t i = 0; i < big.size(); ++i)
        mapped[i] = AnsiCodePage::ByteToChar(big[i]) & 0xFF;
    const auto b = envelope::CiphertextDigest(big.data(), big.size());
    EXPECT_EQ(std::string(b.begin(), b.end()), CSHA256::DigestHex(mapped.data(), mapped.size()));
}

TEST(Envelope, RoundTripsEveryEngineLengthKeyAndPassCount) {
    const std::u16string keys[] = {u"k", u"password", u"Ünïcödé €", u"a much longer key of forty-two characters."};
    for (auto& engine : BuiltEngines()) {
        SCOPED_TRACE(ToUtf8(engine->Name()));
        for (std::size_t L = 0; L <= 300; L += (L < 40 ? 1 : 37)) {
            const ByteArray message = test::TestBytes(L, static_cast<std::uint32_t>(L * 31));
            const auto& key = keys[L % 4];
            const std::int32_t passes = 1 + static_cast<std::int32_t>(L % 3);
            const std::string text = envelope::MakeEnvelope(*engine, message, key, passes);
            ByteArray opened;
            ASSERT_EQ(OpenPairs(*engine, text, key, passes, opened), OpenStatus::Opened) << L;
            EXPECT_EQ(opened, message) << L;
        }
    }
}

TEST(Envelope, TwoEnvelopesOfOneMessageDiffer) {
    for (auto& engine : BuiltEngines()) {
        const ByteArray message = {'s', 'a', 'm', 'e'};
        const std::string a = envelope::MakeEnvelope(*engine, message, u"k", 1);
        const std::string b = envelope::MakeEnvelope(*engine, message, u"k", 1);
        EXPECT_NE(a, b);
        ByteArray ma, mb;
        EXPECT_EQ(OpenPairs(*engine, a, u"k", 1, ma), OpenStatus::Opened);
        EXPECT_EQ(OpenPairs(*engine, b, u"k", 1, mb), OpenStatus::Opened);
        EXPECT_EQ(ma, message);
        EXPECT_EQ(mb, message);
    }
}

TEST(Envelope, WrongKeyIsReportedOnceAndNotAsSuccess) {
    for (auto& engine : BuiltEngines()) {
        const ByteArray message(40, 'x');
        const std::string text = envelope::MakeEnvelope(*engine, message, u"right key", 2);
        int reports = 0;
        engine->WrongKey = [&](std::u16string_view t) {
            ++reports;
            EXPECT_EQ(t, Engine::WrongKeyText);
        };
        ByteArray out;
        EXPECT_EQ(OpenPairs(*engine, text, u"wrong key", 2, out), OpenStatus::WrongKey);
        EXPECT_EQ(reports, 1);  // the passes stop at the first
        engine->WrongKey = nullptr;
    }
}

TEST(Envelope, DamagedEnvelopes) {
    Sealed s;
    ByteArray out;
    ASSERT_EQ(s.Open(s.text, out), OpenStatus::Opened);
    ASSERT_EQ(out, s.message);

    std::string changed = s.text;
    changed[changed.size() - 1] = changed.back() == '0' ? '1' : '0';
    EXPECT_EQ(s.Open(changed, out), OpenStatus::Damaged);

    std::string digestChanged = s.text;
    digestChanged[0] = '4';  // a digest character, now no lower-case hex digit
    EXPECT_EQ(s.Open(digestChanged, out), OpenStatus::Damaged);

    EXPECT_EQ(s.Open(s.text.substr(0, s.text.size() - 3), out), OpenStatus::Damaged);  // last pair gone

    EXPECT_EQ(FailureNumber([&] { s.Open(" " + s.text, out); }), Failure::SubscriptOutOfRange);

    std::string lower = s.text;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != s.text) {
        EXPECT_EQ(FailureNumber([&] { s.Open(lower, out); }), Failure::SubscriptOutOfRange);
    }

    // One or two characters after the last pair are not read; a third makes one more pair.
    EXPECT_EQ(s.Open(s.text + " ", out), OpenStatus::Opened);
    EXPECT_EQ(s.Open(s.text + "\r\n", out), OpenStatus::Opened);
    EXPECT_EQ(s.Open(s.text + " 4", out), OpenStatus::Opened);
    EXPECT_EQ(s.Open(s.text + " 41", out), OpenStatus::Damaged);
    EXPECT_EQ(FailureNumber([&] { s.Open(s.text + "\r\n\r", out); }), Failure::SubscriptOutOfRange);
    EXPECT_EQ(FailureNumber([&] { s.Open(s.text + " a1", out); }), Failure::SubscriptOutOfRange);

    // The separators are never looked at.
    std::string dashes = s.text;
    std::replace(dashes.begin(), dashes.end(), ' ', '-');
    EXPECT_EQ(s.Open(dashes, out), OpenStatus::Opened);
    EXPECT_EQ(out, s.message);

    // The seven characters between '9' and 'A' stand for 0: the digest no longer fits.
    std::string colon = s.text;
    std::size_t at = 64 * 3;
    while (colon.compare(at, 2, "00") == 0)
        at += 3;  // a pair that was no 0 byte
    colon[at] = ':';
    EXPECT_EQ(s.Open(colon, out), OpenStatus::Damaged);

    // Plain text is no envelope.
    EXPECT_EQ(FailureNumber([&] { s.Open("Meet at noon", out); }), Failure::SubscriptOutOfRange);
    EXPECT_EQ(FailureNumber([&] { s.Open("4", out); }), Failure::SubscriptOutOfRange);
    EXPECT_EQ(FailureNumber([&] { s.Open("", out); }), Failure::SubscriptOutOfRange);

    // Fewer than 64 characters after decoding: the invalid-argument failure, not error 9.
    EXPECT_EQ(FailureNumber([&] { s.Open(s.text.substr(0, 63 * 3 - 1), out); }), Failure::InvalidArgument);
    EXPECT_EQ(FailureNumber([&] { s.Open("41", out); }), Failure::InvalidArgument);
}

TEST(Envelope, DigestOfNothingPassesThenTheEngineRefuses) {
    // 64 digest pairs and no ciphertext: authentic, but no frame to decrypt.
    const ByteArray none;
    const std::string text = envelope::EnvelopeText(none);
    ASSERT_EQ(text.size(), 64u * 3 - 1);
    for (auto& engine : BuiltEngines()) {
        ByteArray out;
        EXPECT_EQ(FailureNumber([&] { OpenPairs(*engine, text, u"k", 1, out); }), Failure::SubscriptOutOfRange);
    }
}

TEST(Envelope, PassCountsOutsideTheRangeAreRefused) {
    Sealed s;
    ByteArray m = s.message;
    EXPECT_EQ(FailureNumber([&] { envelope::EncryptPasses(*s.engine, m, u"k", 0); }), Failure::InvalidArgument);
    EXPECT_EQ(m, s.message);  // untouched
    EXPECT_EQ(FailureNumber([&] { envelope::EncryptPasses(*s.engine, m, u"k", -1); }), Failure::InvalidArgument);
    EXPECT_EQ(FailureNumber([&] { envelope::EncryptPasses(*s.engine, m, u"k", 32768); }), Failure::InvalidArgument);
    ByteArray out;
    EXPECT_EQ(FailureNumber([&] { OpenPairs(*s.engine, s.text, u"key", 0, out); }), Failure::InvalidArgument);
    // The largest count is taken: the second pass finds the 12-byte message no whole blocks.
    EXPECT_EQ(FailureNumber([&] { OpenPairs(*s.engine, s.text, u"key", envelope::MaxPasses, out); }),
              Failure::SubscriptOutOfRange);
}

TEST(Envelope, AHookDecidesEachPassFromTheLastResult) {
    // Three passes in; decrypting goes on while the last result is still longer than the
    // message, which only a hook that sees each pass's result can tell.
    struct LongerThan final : envelope::PassHook {
        std::size_t size;
        std::vector<std::int64_t> passed;
        bool GoOn(std::int64_t, const ByteArray& b) override { return b.size() > size; }
        void Passed(std::int64_t done, const ByteArray&) override { passed.push_back(done); }
    };
    Sealed s;
    ByteArray m = s.message;
    envelope::EncryptPasses(*s.engine, m, u"key", 3);
    LongerThan hook;
    hook.size = s.message.size();
    EXPECT_EQ(envelope::DecryptPasses(*s.engine, m, u"key", hook), OpenStatus::Opened);
    EXPECT_EQ(m, s.message);
    EXPECT_EQ(hook.passed, (std::vector<std::int64_t>{1, 2, 3}));
}

TEST(Envelope, DecodingWideTextIgnoresSeparatorsAndRefusesWideDigits) {
    EXPECT_EQ(envelope::DecodePairs(std::u16string_view(u"41\u014142")), (ByteArray{0x41, 0x42}));
    EXPECT_EQ(FailureNumber([] { envelope::DecodePairs(std::u16string_view(u"4\u0141 42")); }),
              Failure::SubscriptOutOfRange);
    // U+0130 has the low byte 0x30 ("0"): it must not pass as a digit.
    EXPECT_EQ(FailureNumber([] { envelope::DecodePairs(std::u16string_view(u"\u01301 42")); }),
              Failure::SubscriptOutOfRange);
}

TEST(Envelope, UnwrapUndoesWhatMailProgramsDo) {
    const auto unwrap = [](std::string s) {
        envelope::UnwrapText(s);
        return s;
    };
    EXPECT_EQ(unwrap("  41 42 43\r\n"), "41 42 43");
    EXPECT_EQ(unwrap("\n\t41 42\n"), "41 42");
    EXPECT_EQ(unwrap("41 42\r\n43 44"), "41 42 43 44");   // break instead of the space
    EXPECT_EQ(unwrap("41 42 \r\n43 44"), "41 42 43 44");  // break after the space
    EXPECT_EQ(unwrap("41 42\r\n 43 44"), "41 42 43 44");  // break before a space
    EXPECT_EQ(unwrap("41 42\n\n43"), "41 42 43");
    EXPECT_EQ(unwrap("41 4\r\n2 43"), "41 42 43");  // a hard wrap inside a pair
    EXPECT_EQ(unwrap("41  42"), "41  42");          // no line break: left to the pair rule
    EXPECT_EQ(unwrap(""), "");
    EXPECT_EQ(unwrap(" \r\n "), "");

    // An envelope folded at 76 columns with CRLF, the way mail programs fold it.
    Sealed s;
    std::string folded;
    std::size_t column = 0;
    for (std::size_t i = 0; i < s.text.size(); i += 3) {
        const std::string pair = s.text.substr(i, 2);
        if (column + 3 > 76) {
            folded += "\r\n";
            column = 0;
        } else if (i != 0) {
            folded += ' ';
            ++column;
        }
        folded += pair;
        column += 2;
    }
    folded += "\r\n";
    ASSERT_NE(folded.find("\r\n"), std::string::npos);
    EXPECT_EQ(unwrap(folded), s.text);

    // Hard-wrapped every 76 characters, splitting pairs and keeping the spaces.
    std::string hard;
    for (std::size_t i = 0; i < s.text.size(); i += 76)
        hard += s.text.substr(i, 76) + "\r\n";
    EXPECT_EQ(unwrap(hard), s.text);

    // Lines ended by CR alone, as old mail programs end them.
    std::string cr = folded;
    std::erase(cr, '\n');
    EXPECT_EQ(unwrap(cr), s.text);
}

TEST(Envelope, UnwrapTakesLinearTimeOverManyLinesEndedByCR) {
    // Each line once: searching the rest of the text for an LF at every CR took hours here.
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "41\r";
    envelope::UnwrapText(text);
    ASSERT_EQ(text.size(), 3u * 1000000 - 1);
    EXPECT_EQ(text.substr(0, 8), "41 41 41");
}

// The unwrapping judged character by character, the plain way; the fast one must agree.
std::string UnwrapModel(const std::string& input) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto lineBreak = [](char c) { return c == '\r' || c == '\n'; };
    const auto space = [&](char c) { return blank(c) || lineBreak(c); };
    std::size_t begin = 0, end = input.size();
    while (begin < end && space(input[begin]))
        ++begin;
    while (end > begin && space(input[end - 1]))
        --end;
    std::string out;
    std::size_t digits = 0;
    for (std::size_t i = begin; i < end;) {
        if (!space(input[i])) {
            out += input[i++];
            ++digits;
            continue;
        }
        std::size_t j = i;
        bool hasBreak = false, hasBlank = false;
        while (j < end && space(input[j])) {
            hasBreak = hasBreak || lineBreak(input[j]);
            hasBlank = hasBlank || blank(input[j]);
            ++j;
        }
        if (!hasBreak) {
            out.append(input, i, j - i);
        } else if (hasBlank || digits % 2 == 0) {
            out += ' ';
        }
        digits = hasBreak && !hasBlank && digits % 2 == 1 ? digits : 0;
        i = j;
    }
    return out;
}

TEST(Envelope, UnwrapAgreesWithTheCharacterModel) {
    std::mt19937 rng(7);
    const std::string alphabet = "4A \t\r\n";
    for (int round = 0; round < 20000; ++round) {
        std::string s(rng() % 40, ' ');
        for (auto& c : s)
            c = alphabet[rng() % alphabet.size()];
        std::string fast = s;
        envelope::UnwrapText(fast);
        ASSERT_EQ(fast, UnwrapModel(s)) << "input: " << ::testing::PrintToString(s);
    }
}

// A large envelope, its passes split over every core: the digest decides first (a damaged
// envelope with a wrong key, or with a broken block count, is damaged), the wrong key is told
// once and only then, and the message is what one thread finds.
TEST(Envelope, LargeEnvelopesCheckTheDigestFirst) {
    auto engine = CreateEngine(u"Blowfish");
    const ByteArray message = test::TestBytes((3u << 20) + 5, 7);
    ByteArray ciphertext = message;
    envelope::EncryptPasses(*engine, ciphertext, u"key", 2);
    const ByteArray good = envelope::DecodePairs(envelope::EnvelopeText(ciphertext));
    int wrongKeys = 0;
    engine->WrongKey = [&](std::u16string_view) { ++wrongKeys; };

    ByteArray opened = good;
    EXPECT_EQ(envelope::OpenDecoded(*engine, opened, u"key", 2), OpenStatus::Opened);
    EXPECT_EQ(opened, message);
    opened = good;
    EXPECT_EQ(envelope::OpenDecoded(*engine, opened, u"other", 2), OpenStatus::WrongKey);
    EXPECT_EQ(wrongKeys, 1);

    ByteArray damaged = good;
    damaged[100] ^= 1;
    EXPECT_EQ(envelope::OpenDecoded(*engine, damaged, u"other", 1), OpenStatus::Damaged);
    damaged = good;
    damaged.pop_back();
    EXPECT_EQ(envelope::OpenDecoded(*engine, damaged, u"key", 1), OpenStatus::Damaged);
    EXPECT_EQ(wrongKeys, 1);
}
