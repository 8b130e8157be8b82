// No copy of a key outlives its use unwiped: every heap block freed while an engine is keyed,
// used, re-keyed and destroyed is searched for the key, in UTF-16 and in the code page.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/Team.h"
#include "cli/Cli.h"
#include "desktop/MessageCommands.h"
#include "engines/Registry.h"
#include "tests/TempDir.h"
#include "tests/secrets/FreedBlocks.h"

using namespace tavorin;
using namespace tavorin::test;

namespace {

// Long enough to live on the heap in a string; the first has a character that takes the
// normalisation path and that the code page maps away from its code, the second does not.
constexpr std::u16string_view kSecret = u"Zq7!secret\u20ACmarker~Zq7";
constexpr std::u16string_view kPlainSecret = u"Zq7!plain-secret-marker~Zq7";
constexpr std::u16string_view kOther = u"another key, also long enough";

std::vector<std::string> Needles(std::u16string_view key) {
    std::string utf16(reinterpret_cast<const char*>(key.data()), key.size() * 2);
    std::string bytes;
    for (char16_t c : key) {
        std::uint8_t b = 0;
        AnsiCodePage::CharToByte(c, b);
        bytes.push_back(static_cast<char>(b));
    }
    return {utf16.substr(0, 32), bytes};
}

}  // namespace

TEST(KeyCopies, NoneLeftInFreedMemoryByTheEngines) {
    for (std::u16string_view secret : {kSecret, kPlainSecret}) {
        for (std::u16string_view name : EngineNames) {
            SCOPED_TRACE(std::string(name.begin(), name.end()));
            const auto needles = Needles(secret);  // made before the watch and freed after it
            FreedBlockWatch watch(needles);
            {
                auto engine = CreateEngine(name);
                engine->Key(secret);
                ByteArray data = TestBytes(300);
                engine->EncryptByte(data);
                EXPECT_TRUE(engine->DecryptByte(data, secret));
                const std::u16string text = engine->EncryptString(u"hello", secret);
                EXPECT_EQ(engine->DecryptString(text, secret), u"hello");
                engine->Key(kOther);
                engine->Key(secret);
            }
            EXPECT_GT(watch.Freed(), 0u);
            EXPECT_EQ(watch.Hits(), 0u) << "a freed block still held the key";
        }
    }
}

TEST(KeyCopies, NoneLeftWhenAKeyIsRefused) {
    // The key with a character the code page cannot hold at its end: refused, and whatever
    // was converted of it before the refusal is wiped.
    const std::u16string refused = std::u16string(kPlainSecret) + u"\u0141";
    for (std::u16string_view name : EngineNames) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const auto needles = Needles(kPlainSecret);
        FreedBlockWatch watch(needles);
        {
            auto engine = CreateEngine(name);
            EXPECT_THROW(engine->Key(refused), Failure);
            ByteArray data = TestBytes(20);
            EXPECT_THROW(engine->EncryptByte(data, refused), Failure);
        }
        EXPECT_EQ(watch.Hits(), 0u) << "a freed block still held the refused key";
    }
}

TEST(KeyCopies, NoneLeftByTheFileOperations) {
    TempDir dir;
    WriteFile(dir / "plain", TestBytes(5000));
    for (std::u16string_view name : EngineNames) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const auto needles = Needles(kSecret);  // made before the watch and freed after it
        FreedBlockWatch watch(needles);
        {
            auto engine = CreateEngine(name);
            engine->EncryptFile(dir / "plain", dir / "sealed", kSecret);
            EXPECT_TRUE(engine->DecryptFile(dir / "sealed", dir / "opened", kSecret));
        }
        EXPECT_EQ(watch.Hits(), 0u) << "a freed block still held the key";
    }
}

// The command line's key from a file (a line long enough that its buffer grows on the way),
// the environment and the terminal.
TEST(KeyCopies, NoneLeftByTheCommandLine) {
    TempDir dir;
    const std::string line = std::string(kPlainSecret.begin(), kPlainSecret.end()) + std::string(700, 'k');
    WriteFile(dir / "key", ByteArray(line.begin(), line.end()));
    ::setenv("TAVORIN_COPIES_KEY", line.c_str(), 1);
    cli::System system = cli::System::Process();
    system.askKey = [&](const std::string&) { return std::optional<std::string>(line); };
    const auto needles = Needles(kPlainSecret);
    FreedBlockWatch watch(needles);
    for (const std::string& from :
         {"--key-file=" + (dir / "key").string(), std::string("--key-env=TAVORIN_COPIES_KEY"), std::string("-f")}) {
        cli::TextReader in("m");
        cli::TextWriter out, err;
        EXPECT_EQ(cli::Run({"encrypt", from}, in, out, err, system), 0) << err.Text();
    }
    EXPECT_EQ(watch.Hits(), 0u) << "a freed block still held the key";
}

TEST(KeyCopies, TheWatchFindsAnUnwipedCopy) {
    const auto needles = Needles(kSecret);
    FreedBlockWatch watch(needles);
    { const std::u16string copy(kSecret); }
    EXPECT_EQ(watch.Hits(), 1u);
    {
        std::u16string copy(kSecret);
        SecureWipe(copy);
    }
    EXPECT_EQ(watch.Hits(), 1u);
}

// Decryption on every core keeps the first bytes of each piece aside until the pieces before
// are done: those copies are plaintext, and are wiped.
TEST(KeyCopies, NoPlaintextLeftByDecryptionOnEveryCore) {
    const std::string marker = "PLAIN#MARK12";          // the 12 bytes at the start of a piece
    const std::vector<std::string> needles = {marker};  // made before the watch and freed after it
    ByteArray message = TestBytes(std::size_t{1} << 20);
    for (std::size_t k = 1; k < 4; ++k)
        std::copy(marker.begin(), marker.end(), message.begin() + k * (std::size_t{256} << 10) - 12);
    for (std::u16string_view name : EngineNames) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        auto engine = CreateEngine(name);
        ByteArray data = message;
        engine->EncryptByte(data, kSecret);
        LimitCores(3);
        {
            FreedBlockWatch watch(needles);
            EXPECT_TRUE(engine->DecryptByte(data));
            EXPECT_EQ(watch.Hits(), 0u) << "a freed block still held plaintext";
        }
        LimitCores(0);
        EXPECT_EQ(data, message);
        SecureWipe(data);
    }
}

// A message read while it is encrypted: once sealed, and when a letter near its end sends it
// back to be read again, no freed block holds its plaintext.
TEST(KeyCopies, NoPlaintextLeftByAMessageReadWhileEncrypted) {
    const std::string marker = "PLAIN#MARK12";
    const std::vector<std::string> needles = {marker};  // made before the watch and freed after it
    ByteArray message(std::size_t{3} << 20);
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<std::uint8_t>(i % 61 == 60 ? '\n' : 'A' + i % 53);
    for (const std::size_t at : {std::size_t{100000}, std::size_t{1} << 21, message.size() - 5000})
        std::copy(marker.begin(), marker.end(), message.begin() + static_cast<std::ptrdiff_t>(at));
    cli::System system = cli::System::Process();
    system.getEnv = [](const std::string&) -> std::optional<std::string> { return std::string("k"); };
    TempDir dir;
    for (const bool letter : {false, true}) {
        if (letter)
            std::copy_n("\xC3\xA9", 2, message.end() - 100);  // é
        WriteFile(dir / "in", message);
        cli::TextReader none;
        cli::TextWriter out, err;
        FreedBlockWatch watch(needles);
        EXPECT_EQ(cli::Run({"encrypt", "--key-env", "K", "-i", (dir / "in").string()}, none, out, err, system), 0)
            << err.Text();
        EXPECT_EQ(watch.Hits(), 0u) << "a freed block still held plaintext" << (letter ? " (read again)" : "");
    }
}

namespace {

// A window that hands out the key and keeps the message; nothing else.
class KeyWindow final : public MessageWindow {
public:
    std::u16string message = u"hello", key;
    std::u16string MessageText() override { return message; }
    void SetMessageText(std::u16string_view t) override { message.assign(t); }
    std::u16string KeyText() override { return key; }
    std::u16string PassCountText() override { return u"1"; }
    std::u16string EngineName() override { return u"Blowfish"; }
    void SetStatusText(std::u16string_view) override {}
    void SetBusy(bool) override {}
    void ShowMessage(std::u16string_view, MessageIcon, std::u16string_view) override {}
    void FocusKeyField() override {}
    void ClearClipboard() override {}
    void Yield() override {}
    MessageEncoding Encoding() override { return MessageEncoding::Windows1252; }
};

}  // namespace

TEST(KeyCopies, NoneLeftByTheWindowsCommands) {
    for (std::u16string_view secret : {kSecret, kPlainSecret}) {
        const auto needles = Needles(secret);
        KeyWindow window;
        window.key = secret;
        auto engine = CreateEngine(u"Blowfish");
        FreedBlockWatch watch(needles);
        MessageCommands commands(window);
        commands.cmdEncrypt_Click(*engine);
        commands.cmdDecrypt_Click(*engine);
        EXPECT_EQ(window.message, u"hello");
        EXPECT_EQ(watch.Hits(), 0u) << "a freed block still held the key";
    }
}
