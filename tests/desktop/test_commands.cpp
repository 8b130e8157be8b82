// The Encrypt and Decrypt commands over a window that records what they do.
#include <gtest/gtest.h>

#include <deque>
#include <optional>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "desktop/MessageCommands.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

using namespace tavorin;

namespace {

const std::u16string kEncrypting = u"Status: Encrypting Message...Please Wait";
const std::u16string kDecrypting = u"Status: Decrypting Message...Please Wait";
const std::u16string kAuthText =
    u"Message Authentication failed.\r\nMake sure full message has been entered before decrypting";

struct Box {
    std::u16string text;
    MessageIcon icon;
    std::u16string title;
};

class RecordingWindow final : public MessageWindow {
public:
    std::u16string message;
    std::u16string key = u"secret";
    // Read one by one, before every pass; the last stays.
    std::deque<std::u16string> passCounts{u"1"};
    std::u16string engineName = u"Blowfish";
    MessageEncoding encoding = MessageEncoding::Windows1252;
    std::function<void()> onYield;

    std::vector<std::u16string> messageWrites;
    std::vector<std::u16string> statuses;
    std::vector<Box> boxes;
    std::vector<std::int32_t> progress;
    std::vector<bool> busy;
    int focusCount = 0;
    int clipboardClears = 0;
    int passCountReads = 0;
    int yields = 0;
    std::u16string status = u"Status:";

    std::u16string MessageText() override { return message; }
    void SetMessageText(std::u16string_view t) override {
        message = std::u16string(t);
        messageWrites.push_back(message);
    }
    std::u16string KeyText() override { return key; }
    std::u16string PassCountText() override {
        ++passCountReads;
        std::u16string v = passCounts.front();
        if (passCounts.size() > 1)
            passCounts.pop_front();
        return v;
    }
    std::u16string EngineName() override { return engineName; }
    void SetStatusText(std::u16string_view t) override {
        status = std::u16string(t);
        statuses.push_back(status);
    }
    void SetBusy(bool b) override { busy.push_back(b); }
    void ShowMessage(std::u16string_view text, MessageIcon icon, std::u16string_view title) override {
        boxes.push_back({std::u16string(text), icon, std::u16string(title)});
    }
    void FocusKeyField() override { ++focusCount; }
    void ClearClipboard() override { ++clipboardClears; }
    void Yield() override {
        ++yields;
        if (onYield)
            onYield();
    }
    MessageEncoding Encoding() override { return encoding; }
    void ShowProgress(std::int32_t p) override { progress.push_back(p); }

    // The pointer went on once and is off again.
    bool BusyBalanced() const { return busy.size() == 2 && busy[0] && !busy[1]; }
    void ClearRecords() {
        messageWrites.clear(), statuses.clear(), boxes.clear(), progress.clear(), busy.clear();
        focusCount = clipboardClears = passCountReads = yields = 0;
    }
};

struct Fixture {
    RecordingWindow window;
    MessageCommands commands{window};
    std::unique_ptr<Engine> engine = CreateEngine(u"Blowfish");

    void Encrypt() { commands.cmdEncrypt_Click(*engine); }
    void Decrypt() { commands.cmdDecrypt_Click(*engine); }
    // Encrypts `text` and leaves the envelope in the window, records cleared.
    std::u16string Sealed(std::u16string text) {
        window.message = std::move(text);
        Encrypt();
        window.ClearRecords();
        return window.message;
    }
};

// An engine whose every operation fails with one error; with 0, the byte operations change nothing.
class FailingEngine final : public Engine {
public:
    explicit FailingEngine(std::optional<FailureKind> kind) : kind_(kind) {}
    std::u16string_view Name() const noexcept override { return u"Failing"; }
    std::size_t BlockSize() const noexcept override { return 8; }
    void Key(std::u16string_view) override {}
    void EncryptByte(ByteArray&, std::u16string_view) override {
        if (kind_)
            throw Failure(*kind_, "engine broke");
    }
    bool DecryptByte(ByteArray&, std::u16string_view) override { throw Failure(kind_.value(), "engine broke"); }
    std::int32_t PeekLength(const std::uint8_t*, std::u16string_view) override {
        throw Failure(kind_.value(), "broke");
    }
    void EncryptFile(const std::filesystem::path&, const std::filesystem::path&, std::u16string_view) override {}
    bool DecryptFile(const std::filesystem::path&, const std::filesystem::path&, std::u16string_view) override {
        return false;
    }
    void RawEncryptBlock(std::uint8_t*) override {}
    void RawDecryptBlock(std::uint8_t*) override {}

private:
    std::optional<FailureKind> kind_;
};

bool IsEnvelopeText(const std::u16string& t) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char16_t c = t[i];
        if (i % 3 == 2 ? c != u' ' : !((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return !t.empty();
}

}  // namespace

TEST(EncryptCommand, EmptyKeyIsRefusedAndChangesNothing) {
    Fixture f;
    f.window.message = u"hello";
    f.window.key = u"";
    f.Encrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"You must enter a key");
    EXPECT_EQ(f.window.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(f.window.boxes[0].title, u"");
    EXPECT_EQ(f.window.focusCount, 1);
    EXPECT_TRUE(f.window.BusyBalanced());
    EXPECT_TRUE(f.window.messageWrites.empty());
    EXPECT_TRUE(f.window.statuses.empty());
    EXPECT_EQ(f.window.clipboardClears, 0);
    EXPECT_EQ(f.window.message, u"hello");

    // With both empty the key is tested first.
    f.window.ClearRecords();
    f.window.message = u"";
    f.Decrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"You must enter a key");
    EXPECT_TRUE(f.window.BusyBalanced());
}

TEST(EncryptCommand, EmptyMessageIsSilent) {
    Fixture f;
    f.window.message = u"";
    for (int which = 0; which < 2; ++which) {
        f.window.ClearRecords();
        which == 0 ? f.Encrypt() : f.Decrypt();
        EXPECT_TRUE(f.window.boxes.empty());
        EXPECT_TRUE(f.window.statuses.empty());
        EXPECT_TRUE(f.window.messageWrites.empty());
        EXPECT_EQ(f.window.clipboardClears, 0);
        EXPECT_TRUE(f.window.BusyBalanced());
    }
}

TEST(EncryptCommand, OnePassStepsAndResult) {
    Fixture f;
    f.window.message = u"Attack at dawn";
    f.Encrypt();
    auto& w = f.window;
    EXPECT_TRUE(w.boxes.empty());
    ASSERT_EQ(w.statuses.size(), 2u);
    EXPECT_EQ(w.statuses[0], kEncrypting);
    EXPECT_EQ(w.statuses[1], u"Results: Message encrypted with Blowfish with 1 passes");
    EXPECT_EQ(f.commands.EncryptPassCount, 1);
    EXPECT_TRUE(f.commands.PassResult.empty());
    EXPECT_EQ(w.passCountReads, 2);  // before the pass and before leaving the loop
    EXPECT_EQ(w.yields, 1);
    EXPECT_EQ(w.clipboardClears, 1);
    EXPECT_TRUE(w.BusyBalanced());

    // "" then the pass result, then digest + ciphertext, then the envelope.
    ASSERT_EQ(w.messageWrites.size(), 4u);
    EXPECT_EQ(w.messageWrites[0], u"");
    const std::u16string& C = w.messageWrites[1];
    EXPECT_EQ(C.size(), 32u);  // 14 + 12 rounded up to 8
    EXPECT_EQ(w.messageWrites[2].substr(64), C);
    const std::u16string& env = w.messageWrites[3];
    EXPECT_EQ(env.size(), 3u * (64 + 32) - 1);
    EXPECT_TRUE(IsEnvelopeText(env));
    EXPECT_EQ(env, FromUtf8(envelope::EnvelopeText(AnsiCodePage::TextToBytes(C))));
    EXPECT_EQ(w.message, env);

    // The progress of the engine reached the window, and was closed.
    ASSERT_FALSE(w.progress.empty());
    EXPECT_EQ(w.progress.front(), 0);
    EXPECT_EQ(w.progress.back(), -1);
    EXPECT_EQ(w.progress[w.progress.size() - 2], 100);
}

TEST(EncryptCommand, PassCountIsReadBeforeEveryPass) {
    Fixture f;
    f.window.message = u"abc";
    f.window.passCounts = {u"2", u"3"};  // the list changes during the first yield
    f.Encrypt();
    EXPECT_EQ(f.commands.EncryptPassCount, 3);
    EXPECT_EQ(f.window.passCountReads, 4);
    EXPECT_EQ(f.window.yields, 3);
    EXPECT_EQ(f.window.status, u"Results: Message encrypted with Blowfish with 3 passes");
    // Three frames of 12 bytes and padding around the 3 bytes: 16, 32, 48.
    EXPECT_EQ(f.window.message.size(), 3u * (64 + 48) - 1);

    // Chosen fewer than it was sealed with, Decrypt goes on while the result is a frame that fits.
    const std::u16string env = f.window.message;
    for (const char16_t* chosen : {u"3", u"1"}) {
        f.window.message = env;
        f.window.passCounts = {chosen};
        f.Decrypt();
        EXPECT_EQ(f.window.message, u"abc");
        EXPECT_EQ(f.window.status, u"Results: Message decrypted with Blowfish with 3 passes");
    }
}

TEST(EncryptCommand, PassCountBelowOneIsRefused) {
    for (const char16_t* count : {u"0", u"", u"-1", u"x"}) {
        Fixture f;
        f.window.message = u"plain";
        f.window.passCounts = {count};
        f.Encrypt();
        ASSERT_EQ(f.window.boxes.size(), 1u);
        EXPECT_EQ(f.window.boxes[0].text.rfind(u"An error has occurred\r\nErr: 5\r\n", 0), 0u);
        EXPECT_EQ(f.window.message, u"plain");  // never an "envelope" of the plain text
        EXPECT_EQ(f.window.clipboardClears, 0);
        EXPECT_TRUE(f.window.BusyBalanced());
    }
}

TEST(EncryptCommand, EngineFailureShowsTheGeneralBox) {
    Fixture f;
    FailingEngine failing(FailureKind::TooLarge);
    f.window.message = u"text";
    f.commands.cmdEncrypt_Click(failing);
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"An error has occurred\r\nErr: 6\r\nengine broke");
    EXPECT_EQ(f.window.boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(f.window.boxes[0].title, u"Error");
    EXPECT_EQ(f.window.status, kEncrypting);
    EXPECT_EQ(f.window.message, u"text");
    EXPECT_EQ(f.window.clipboardClears, 0);
    EXPECT_TRUE(f.window.BusyBalanced());

    // The object error's negative number is written as it is.
    FailingEngine object(FailureKind::SourceMissing);
    f.window.ClearRecords();
    f.commands.cmdEncrypt_Click(object);
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"An error has occurred\r\nErr: -2147221504\r\nengine broke");
}

TEST(EncryptCommand, PassesAreCountedInSixteenBits) {
    Fixture f;
    FailingEngine idle(std::nullopt);
    f.window.message = u"m";
    f.window.passCounts = {u"40000"};
    f.commands.cmdEncrypt_Click(idle);
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text.substr(0, 29), u"An error has occurred\r\nErr: 6");
    EXPECT_EQ(f.commands.EncryptPassCount, 32767);
    EXPECT_EQ(f.window.yields, 32767);
}

TEST(EncryptCommand, RefusesTextWindows1252CannotHold) {
    Fixture f;
    f.window.message = u"Gda\u0144sk";
    f.Encrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_NE(f.window.boxes[0].text.find(u"U+0144"), std::u16string::npos);
    EXPECT_NE(f.window.boxes[0].text.find(u"UTF-8"), std::u16string::npos);
    EXPECT_TRUE(f.window.statuses.empty());
    EXPECT_TRUE(f.window.messageWrites.empty());
    EXPECT_EQ(f.window.clipboardClears, 0);
    EXPECT_TRUE(f.window.BusyBalanced());

    // A key is refused the same way, never turned into "?".
    f.window.ClearRecords();
    f.window.message = u"fine";
    f.window.key = u"\u0141ukasz";
    f.Encrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_NE(f.window.boxes[0].text.find(u"U+0141"), std::u16string::npos);
    EXPECT_TRUE(f.window.messageWrites.empty());
    EXPECT_EQ(f.window.message, u"fine");

    f.window.key = u"secret";
    const std::u16string env = f.Sealed(u"m");
    f.window.key = u"\u0141ukasz";
    f.window.message = env;
    f.Decrypt();
    EXPECT_EQ(f.window.message, env);
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_TRUE(f.window.messageWrites.empty());
    EXPECT_TRUE(f.window.statuses.empty());
}

TEST(EncryptCommand, ComposedAndDecomposedTextEncryptAlike) {
    Fixture f;
    f.window.key = u"cle\u0301";  // decomposed é in the key
    const std::u16string env = f.Sealed(u"cafe\u0301");
    f.window.key = u"cl\u00e9";
    f.window.message = env;
    f.Decrypt();
    EXPECT_EQ(f.window.message, u"caf\u00e9");
}

TEST(DecryptCommand, RoundTripForEveryEngineLengthAndKey) {
    const std::u16string keys[] = {u"k", u"pass word", u"\u00e9t\u00e9 \u20ac",
                                   u"0123456789abcdefghijklmnopqrstuvwxyz0123456789"};
    for (const auto name : EngineNames) {
        Fixture f;
        f.engine = CreateEngine(name);
        if (!f.engine)
            continue;
        f.window.engineName = std::u16string(name);
        for (std::size_t L = 1; L <= 200; L += (L < 20 ? 1 : 23)) {
            std::u16string text;
            for (std::size_t i = 0; i < L; ++i)
                text.push_back(AnsiCodePage::ByteToChar(static_cast<std::uint8_t>(i * 37 + L)));
            f.window.key = keys[L % 4];
            f.Sealed(text);
            f.Decrypt();
            ASSERT_EQ(f.window.message, text) << ToUtf8(name) << " " << L;
            EXPECT_EQ(f.window.status, u"Results: Message decrypted with " + std::u16string(name) + u" with 1 passes");
            EXPECT_TRUE(f.window.boxes.empty());
            EXPECT_EQ(f.window.clipboardClears, 1);
            EXPECT_TRUE(f.window.BusyBalanced());
        }
    }
}

TEST(DecryptCommand, StepsOfASuccessfulDecrypt) {
    Fixture f;
    const std::u16string env = f.Sealed(u"hi");
    f.window.message = env;
    f.Decrypt();
    auto& w = f.window;
    ASSERT_EQ(w.statuses.size(), 2u);
    EXPECT_EQ(w.statuses[0], kDecrypting);
    // The decoded text, the text without the digest, then "" and the message.
    ASSERT_EQ(w.messageWrites.size(), 4u);
    EXPECT_EQ(w.messageWrites[0].size(), 64u + 16);
    EXPECT_EQ(w.messageWrites[1], w.messageWrites[0].substr(64));
    EXPECT_EQ(w.messageWrites[2], u"");
    EXPECT_EQ(w.messageWrites[3], u"hi");
    EXPECT_EQ(f.commands.DecryptPassCount, 1);
    EXPECT_TRUE(f.commands.PassResult.empty());
    EXPECT_EQ(w.clipboardClears, 1);
}

TEST(DecryptCommand, AuthenticationFailureEmptiesEverything) {
    Fixture f;
    std::u16string env = f.Sealed(u"the whole message");
    env.resize(env.size() - 3);  // the last pair went missing
    f.window.message = env;
    f.Decrypt();
    auto& w = f.window;
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].text, kAuthText);
    EXPECT_EQ(w.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(w.boxes[0].title, u"");
    EXPECT_EQ(w.message, u"");
    EXPECT_EQ(w.status, u"");
    EXPECT_EQ(w.clipboardClears, 1);
    EXPECT_TRUE(w.BusyBalanced());
    // The clean-up order: box, message emptied, pointer off, clipboard, status.
    EXPECT_EQ(w.messageWrites.back(), u"");
}

TEST(DecryptCommand, TextThatIsNoEnvelope) {
    const std::u16string cases[] = {u"This is plain text", u"x", u" 41 42", u"4a 4b"};
    for (const auto& text : cases) {
        Fixture f;
        f.window.message = text;
        f.Decrypt();
        ASSERT_EQ(f.window.boxes.size(), 1u) << ToUtf8(text);
        EXPECT_EQ(f.window.boxes[0].text, u"Cannot decrypt text any further");
        EXPECT_EQ(f.window.boxes[0].icon, MessageIcon::None);
        EXPECT_EQ(f.window.boxes[0].title, u"Error");
        EXPECT_EQ(f.window.status, kDecrypting);  // kept
        EXPECT_EQ(f.window.message, text);
        EXPECT_EQ(f.window.clipboardClears, 0);
        EXPECT_TRUE(f.window.BusyBalanced());
    }
    // Lower-case digits of a real envelope.
    Fixture f;
    std::u16string env = f.Sealed(u"m");
    for (auto& c : env)
        c = (c >= u'A' && c <= u'F') ? c + 32 : c;
    f.window.message = env;
    f.Decrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"Cannot decrypt text any further");

    // Decrypt pressed again on the decrypted plain text.
    f.window.message = f.Sealed(u"Plain words");
    f.Decrypt();
    f.window.ClearRecords();
    f.Decrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"Cannot decrypt text any further");
}

TEST(DecryptCommand, ShortTextTakesTheGeneralPath) {
    Fixture f;
    f.window.message = u"41 42 43";
    f.Decrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text.rfind(u"An error has occurred\r\nErr: 5\r\n", 0), 0u);
    EXPECT_EQ(f.window.boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(f.window.boxes[0].title, u"Error");
    EXPECT_EQ(f.window.status, u"");
    EXPECT_EQ(f.window.message, u"ABC");  // what step 5 wrote stays
    EXPECT_TRUE(f.window.BusyBalanced());
}

TEST(DecryptCommand, EngineErrorNineAfterTheDigest) {
    // An authentic envelope whose ciphertext is no whole number of blocks.
    Fixture f;
    const ByteArray odd = {1, 2, 3, 4, 5};
    f.window.message = FromUtf8(envelope::EnvelopeText(odd));
    f.Decrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"Cannot decrypt text any further");
    EXPECT_EQ(f.window.status, kDecrypting);

    FailingEngine failing(FailureKind::EmptyGostKey);
    f.window.ClearRecords();
    f.window.message = f.Sealed(u"m");
    f.commands.cmdDecrypt_Click(failing);
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, u"An error has occurred\r\nErr: 11\r\nengine broke");
    EXPECT_EQ(f.window.status, u"");
}

TEST(DecryptCommand, TrailingAndSeparatorCharacters) {
    Fixture f;
    const std::u16string env = f.Sealed(u"msg");
    for (const std::u16string tail : {u" ", u"\r\n"}) {
        f.window.ClearRecords();
        f.window.message = env + tail;
        f.Decrypt();
        EXPECT_EQ(f.window.message, u"msg");
    }
    std::u16string folded;  // as a mail program folds it, some lines ending inside a pair
    for (std::size_t i = 0; i < env.size(); i += 40)
        folded += env.substr(i, 40) + u"\r\n";
    f.window.message = folded;
    f.Decrypt();
    EXPECT_EQ(f.window.message, u"msg");
    std::u16string slashes = env;
    std::replace(slashes.begin(), slashes.end(), u' ', u'/');
    f.window.message = slashes;
    f.Decrypt();
    EXPECT_EQ(f.window.message, u"msg");

    f.window.ClearRecords();
    f.window.message = env + u" 41";
    f.Decrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_EQ(f.window.boxes[0].text, kAuthText);
}

TEST(DecryptCommand, WrongKeyStopsAndKeepsTheEnvelope) {
    Fixture f;
    int ownerBoxes = 0;
    f.engine->WrongKey = [&](std::u16string_view) { ++ownerBoxes; };  // the window's own handler
    f.window.passCounts = {u"2"};
    const std::u16string env = f.Sealed(u"for your eyes only");
    f.window.key = u"not the key";
    f.window.message = env;
    f.Decrypt();
    auto& w = f.window;
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].text, Engine::WrongKeyText);
    EXPECT_EQ(w.boxes[0].icon, MessageIcon::Critical);
    EXPECT_EQ(w.boxes[0].title, u"Key");
    EXPECT_EQ(ownerBoxes, 0);   // shown once, by the command
    EXPECT_EQ(w.message, env);  // the envelope as it was
    EXPECT_EQ(w.status, u"Status: Decryption failed: wrong key");
    EXPECT_EQ(w.clipboardClears, 0);
    EXPECT_EQ(f.commands.DecryptPassCount, 0);  // the passes stopped at the first
    EXPECT_TRUE(f.commands.PassResult.empty());
    EXPECT_TRUE(w.BusyBalanced());
    for (const auto& s : w.statuses)
        EXPECT_EQ(s.find(u"Results"), std::u16string::npos);

    // The owner's handler is back afterwards.
    ByteArray junk(16, 0);
    f.engine->DecryptByte(junk, u"k");
    EXPECT_EQ(ownerBoxes, 1);
}

TEST(DecryptCommand, Utf8MessagesInAnyLanguage) {
    Fixture f;
    f.window.encoding = MessageEncoding::Utf8;
    const std::u16string text = u"\u0141\u00f3d\u017a \u65e5\u672c \U0001F600";
    const std::u16string env = f.Sealed(text);
    EXPECT_TRUE(f.window.boxes.empty());
    f.window.message = env;
    f.Decrypt();
    EXPECT_EQ(f.window.message, text);
    EXPECT_EQ(f.window.status, u"Results: Message decrypted with Blowfish with 1 passes");

    // The same envelope read as Windows-1252 gives the UTF-8 bytes' characters.
    f.window.encoding = MessageEncoding::Windows1252;
    f.window.message = env;
    f.Decrypt();
    EXPECT_EQ(f.window.message, AnsiCodePage::BytesToText(reinterpret_cast<const std::uint8_t*>(ToUtf8(text).data()),
                                                          ToUtf8(text).size()));

    // Windows-1252 bytes that are no UTF-8: refused, the envelope kept for another try.
    const std::u16string latin = f.Sealed(u"na\u00efve");
    f.window.encoding = MessageEncoding::Utf8;
    f.window.message = latin;
    f.Decrypt();
    ASSERT_EQ(f.window.boxes.size(), 1u);
    EXPECT_NE(f.window.boxes[0].text.find(u"Windows-1252"), std::u16string::npos);
    EXPECT_EQ(f.window.message, latin);
    EXPECT_EQ(f.window.clipboardClears, 0);
    EXPECT_TRUE(f.window.BusyBalanced());
}

TEST(Commands, RefuseToStartWhileOneRuns) {
    Fixture f;
    f.window.message = u"first";
    int nested = 0;
    f.window.onYield = [&] {
        EXPECT_TRUE(f.commands.Running());
        const auto writes = f.window.messageWrites.size();
        const auto busy = f.window.busy.size();
        f.Encrypt();
        f.Decrypt();
        EXPECT_EQ(f.window.messageWrites.size(), writes);
        EXPECT_EQ(f.window.busy.size(), busy);
        ++nested;
    };
    f.Encrypt();
    EXPECT_EQ(nested, 1);
    EXPECT_FALSE(f.commands.Running());
    EXPECT_EQ(f.commands.EncryptPassCount, 1);
    f.window.onYield = nullptr;
    f.Decrypt();
    EXPECT_EQ(f.window.message, u"first");
}
