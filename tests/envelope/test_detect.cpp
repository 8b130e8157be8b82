// Envelopes opened without being told the cipher or the passes, and found in pasted text.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/Registry.h"
#include "envelope/Detect.h"

using namespace tavorin;
using namespace tavorin::envelope;

namespace {

std::string Seal(std::u16string_view cipher, const ByteArray& message, std::int32_t passes) {
    return MakeEnvelope(*CreateEngine(cipher), message, u"key", passes);
}

Opened Open(std::string_view text, std::int32_t passes = AutoPasses, std::u16string cipher = {}) {
    OpenOptions options;
    options.passes = passes;
    options.cipher = std::move(cipher);
    return OpenEnvelope(text, u"key", options);
}

}  // namespace

TEST(Detect, FindsTheCipherAndThePassesAndRefusesTooFew) {
    for (const auto name : EngineNames) {
        for (const std::int32_t passes : {1, 3}) {
            const ByteArray message = test::TestBytes(40, static_cast<unsigned>(passes));
            const std::string text = Seal(name, message, passes);
            const Opened opened = Open(text);
            ASSERT_EQ(opened.status, OpenStatus::Opened) << ToUtf8(name) << passes;
            EXPECT_EQ(opened.cipher, name);
            EXPECT_EQ(opened.passes, passes);
            EXPECT_EQ(opened.message, message);
            EXPECT_EQ(Open(text, passes, std::u16string(name)).message, message);
            EXPECT_EQ(Open(text, passes + 1).status, OpenStatus::WrongKey);
            if (passes > 1) {
                const Opened fewer = Open(text, passes - 1);
                EXPECT_EQ(fewer.status, OpenStatus::MorePasses);
                EXPECT_TRUE(fewer.message.empty());
            }
        }
    }
    const std::string blowfish = Seal(u"Blowfish", {'m'}, 1);
    EXPECT_EQ(OpenEnvelope(blowfish, u"other", {}).status, OpenStatus::WrongKey);
    EXPECT_EQ(Open(blowfish, AutoPasses, u"Twofish").status, OpenStatus::WrongKey);
    EXPECT_EQ(Open(blowfish, AutoPasses, u"Gost").status, OpenStatus::WrongKey);

    // Two ciphers that fit (here the same cipher under two names) are named, none is chosen.
    OpenOptions twice;
    twice.createEngine = [](std::u16string_view name) {
        return name == u"Gost" ? CreateEngine(u"Blowfish") : CreateEngine(name);
    };
    const Opened both = OpenEnvelope(blowfish, u"key", twice);
    EXPECT_EQ(both.status, OpenStatus::Ambiguous);
    EXPECT_EQ(both.fitting, (std::vector<std::u16string>{u"Blowfish", u"Gost"}));
}

// A stored length so far from the size that their difference overflows is a frame that
// does not fit, not an error.
TEST(Detect, AStoredLengthThatOverflowsDoesNotFit) {
    auto engine = CreateEngine(u"Blowfish");
    engine->Key(u"key");
    ByteArray frame(16, 0);
    frame[11] = 0x80;  // L = -2^31
    engine->RawEncryptBlock(frame.data());
    for (int i = 0; i < 8; ++i)
        frame[8 + i] ^= frame[i];
    engine->RawEncryptBlock(frame.data() + 8);
    ByteArray copy = frame;
    EXPECT_THROW(engine->DecryptByte(copy), Failure);
    EXPECT_FALSE(FrameFits(*engine, frame));
    EXPECT_EQ(OpenCiphertext(frame, u"key", {}).status, OpenStatus::WrongKey);
}

TEST(Detect, FindsTheEnvelopeWherePeoplePasteIt) {
    const ByteArray message = {'h', 'i'};
    const std::string text = Seal(u"Twofish", message, 2);
    std::string lower = text, folded;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::size_t i = 0; i < lower.size(); i += 61)  // hard wraps, some inside a pair
        folded += "> " + lower.substr(i, 61) + (i % 2 ? "\r\n" : "\n");
    const std::string signature = "\n-- \nAnn\n12 05 23\n";
    const std::string mail = "\xEF\xBB\xBFHello Bob,\n\nOn Monday you wrote:\n" + folded + signature;
    const Opened opened = Open(mail);
    ASSERT_EQ(opened.status, OpenStatus::Opened);
    EXPECT_EQ(opened.message, message);
    EXPECT_EQ(Open(text + "\n12 05 23").message, message);                    // a date right below
    std::string spaced = text.substr(0, 89) + " \n\n> \n" + text.substr(90);  // a blank line and doubled spaces
    for (std::size_t i = 30; i < spaced.size(); i += 40)
        spaced.insert(spaced.find(' ', i), " ");
    EXPECT_EQ(Open(spaced + "\n\n12 05 23").message, message);
    EXPECT_EQ(Open("31 32 33\n" + text).message, message);  // digest-like pairs right above
    EXPECT_EQ(Open(mail + mail).status, OpenStatus::SeveralEnvelopes);
    EXPECT_EQ(Open(text.substr(0, text.size() - 3)).status, OpenStatus::Damaged);
    EXPECT_EQ(Open("This is not an envelope\n41 42 43\n").status, OpenStatus::NotAnEnvelope);
    EXPECT_EQ(Open(text.substr(0, 191) + text.substr(192)).status, OpenStatus::NotAnEnvelope);  // run together
    EXPECT_EQ(Open(std::string(MaxTextAround + 1, 'x') + "\n" + text).status, OpenStatus::NotAnEnvelope);

    // The digest is made as the pieces arrive: pieces of any size find the same. A finder
    // that assumes the digests (the page's) finds it too, whenever the page keeps its result:
    // nothing assumed, or one digest assumed and then found true.
    for (const std::string& whole : {text, mail, spaced, text + "\n12 05 23", "31 32 33\n" + text, mail + mail,
                                     text.substr(0, text.size() - 3), "12 05 23\n" + lower + "\nab cd\n"}) {
        const FoundEnvelope once = FindEnvelope(whole);
        for (std::size_t piece : {1, 5, 64, 200}) {
            for (const bool assume : {false, true}) {
                EnvelopeFinder finder;
                if (assume)
                    finder.AssumeDigests();
                for (std::size_t at = 0; at < whole.size(); at += piece)
                    finder.Feed(whole.data() + at, std::min(piece, whole.size() - at));
                const FoundEnvelope found = finder.Finish();
                const bool kept =
                    finder.Assumed() == 0 ||
                    (finder.Assumed() == 1 && found.status == FindStatus::Found &&
                     finder.AssumedDigest() == CiphertextDigest(found.ciphertext.data(), found.ciphertext.size()));
                EXPECT_TRUE(kept || (assume && whole != text)) << piece;  // a plain envelope needs none here
                if (kept) {
                    EXPECT_EQ(found.status, once.status) << piece << assume;
                    EXPECT_EQ(found.ciphertext, once.ciphertext) << piece << assume;
                }
            }
        }
    }
}

// Text that cannot hold an envelope is refused after a few kilobytes, never read whole.
TEST(Detect, StopsReadingTextThatCannotBeAnEnvelope) {
    const std::string base64Line = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5\n";
    const std::string zeros(4096, '\0'), pairs = "00 00 00 00 00 00 00 00\n";
    for (const std::string* line : {&base64Line, &zeros, &pairs}) {
        EnvelopeFinder finder;
        std::size_t fed = 0;
        while (fed < (std::size_t{1} << 30) && finder.Feed(line->data(), line->size()))
            fed += line->size();
        EXPECT_LE(fed, MaxTextAround + pairs.size());
        EXPECT_EQ(finder.Finish().status, FindStatus::NotAnEnvelope);
    }
}
