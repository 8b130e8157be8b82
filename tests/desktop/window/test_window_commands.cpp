// Encrypt and Decrypt through the real controls of either front end's main window (one
// driver each, WindowDriver.h): round trips for every engine, the exact text kept beside the
// control, the refusals as boxes of their kind, re-entry while a command runs, the message
// encoding, large messages with progress, and more passes than the list offers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "WindowDriver.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

using namespace tavorin;
using namespace tavorin::testing;

namespace {

std::u16string Lines(std::u16string text) {
    for (std::size_t at = text.find(u"\r\n"); at != std::u16string::npos; at = text.find(u"\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

std::u16string Number(std::size_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string Length(std::size_t characters) { return u"Length: " + Number(characters); }

bool Envelope(std::u16string_view text) {
    if (text.size() % 3 != 2) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (!(i % 3 == 2 ? c == u' ' : ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))) {
            return false;
        }
    }
    return true;
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        driver = MakeDriver();
        for (const MainForm::EngineEntry& entry : driver->Window().EngineList()) {
            if (entry.engine != nullptr) {
                ciphers.push_back(entry.name);
            }
        }
        if (ciphers.empty()) {
            GTEST_SKIP() << "no engine in this build";
        }
    }
    void TearDown() override { driver.reset(); }

    MainForm& Window() { return driver->Window(); }
    std::size_t BoxCount() { return driver->Boxes().size(); }
    std::string LastBox() {
        const std::u16string& text = driver->Boxes().back().text;
        return std::string(text.begin(), text.end());
    }

    // Encrypt -> Copy Text -> Clear -> paste -> Decrypt, as a user does it.
    void RoundTrip(const std::u16string& cipher, const std::u16string& message, const std::u16string& key) {
        SCOPED_TRACE(std::string(cipher.begin(), cipher.end()));
        driver->Choose(cipher);
        driver->SetKey(key);
        driver->TypeMessage(message);
        const std::size_t before = BoxCount();
        driver->Click("lblEncrypt");
        ASSERT_EQ(BoxCount(), before) << LastBox();
        EXPECT_EQ(driver->LabelText("lblResult"), u"Results: Message encrypted with " + cipher + u" with 1 passes");
        const std::u16string envelope = Window().MessageText();
        EXPECT_TRUE(Envelope(envelope));
        EXPECT_EQ(driver->LabelText("lblLength"), Length(envelope.size()));
        EXPECT_EQ(driver->Clipboard(), u"");  // emptied by Encrypt
        EXPECT_FALSE(driver->Busy());

        driver->Click("lblCopyText");
        bool secret = true;
        EXPECT_EQ(driver->Clipboard(&secret), envelope);
        EXPECT_FALSE(secret);  // the envelope is meant to be kept
        driver->Click("lblClear");
        EXPECT_EQ(Window().MessageText(), u"");
        driver->Paste();
        EXPECT_EQ(Window().MessageText(), envelope);
        driver->SetKey(key);
        driver->Click("lblDecrypt");
        ASSERT_EQ(BoxCount(), before) << LastBox();
        EXPECT_EQ(Window().MessageText(), message);
        EXPECT_EQ(driver->LabelText("lblResult"), u"Results: Message decrypted with " + cipher + u" with 1 passes");
        EXPECT_EQ(driver->Clipboard(), u"");
        EXPECT_EQ(driver->LabelText("lblLength"), Length(message.size()));
        // Decrypted text copied out stays out of clipboard histories.
        driver->Click("lblCopyText");
        EXPECT_EQ(driver->Clipboard(&secret), message);
        EXPECT_TRUE(secret);
    }

    std::unique_ptr<WindowDriver> driver;
    std::vector<std::u16string> ciphers;
};

TEST_F(Commands, EveryEngineRoundTripsThroughTheControls) {
    const std::u16string message =
        u"Dear Ann,\r\nthe meeting is at 10:00 \u2013 bring \u20ac50.\r\n\tBob\x01\x7f\u00ff";
    for (const std::u16string& cipher : ciphers) {
        RoundTrip(cipher, message, u"correct horse \u00e9");
        RoundTrip(cipher, u"x", u"k");
    }
}

// A control may show a text up to its first NUL or turn line breaks into CR; the commands
// work on the exact text all the same, and the length line counts it.
TEST_F(Commands, TheExactTextIsKeptBesideTheControl) {
    const std::u16string message = std::u16string(u"a\0b\rc\nd\r\n", 9);
    driver->SetKey(u"key");
    Window().SetMessageText(message);
    EXPECT_EQ(driver->LabelText("lblLength"), Length(message.size()));
    driver->Click("lblEncrypt");
    driver->Click("lblDecrypt");
    EXPECT_EQ(BoxCount(), 0u);
    EXPECT_EQ(Window().MessageText(), message);
    // Once the user edits, the control's text is the message.
    driver->TypeMessage(u"typed\r\nanew");
    EXPECT_EQ(Window().MessageText(), u"typed\r\nanew");
}

// What the window adds to the commands' refusals (their logic is tested over a recording
// window): each box with the icon and title the command asked for (no title: the program's),
// answered with the ordinary pointer; the focus and the clipboard the command touched are the
// real ones.
TEST_F(Commands, RefusalsShowAsBoxesOfTheirKind) {
    driver->SetKey(u"key");
    driver->TypeMessage(u"a message of some length");
    driver->Click("lblEncrypt");
    const std::u16string envelope = Window().MessageText();
    struct Case {
        std::u16string message;
        std::u16string key;
        const char* command;
        MessageIcon icon;
        std::u16string title;
        std::u16string text;  // how it begins
        bool clipboardEmptied;
    };
    const Case cases[] = {
        {u"hello", u"", "lblEncrypt", MessageIcon::None, u"Tavorin", u"You must enter a key", false},
        {u"just words", u"key", "lblDecrypt", MessageIcon::None, u"Error", u"Cannot decrypt text any further", false},
        // The last pairs missing: the digest does not match, and everything is emptied.
        {envelope.substr(0, envelope.size() - 6), u"key", "lblDecrypt", MessageIcon::None, u"Tavorin",
         u"Message Authentication failed.\nMake sure full message has been entered before decrypting", true},
        // Fewer than 64 characters after decoding: the general error.
        {envelope.substr(0, 3 * 10 - 1), u"key", "lblDecrypt", MessageIcon::Exclamation, u"Error",
         u"An error has occurred\nErr: 5\n", false},
        {envelope, u"wrong", "lblDecrypt", MessageIcon::Critical, u"Key", Lines(std::u16string(Engine::WrongKeyText)),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        driver->SetClipboard(u"clip");
        driver->TypeMessage(c.message);
        driver->SetKey(c.key);
        driver->Focus("cboEncryption");
        const std::size_t before = BoxCount();
        driver->Click(c.command);
        ASSERT_EQ(BoxCount(), before + 1);
        const WindowDriver::Box& box = driver->Boxes().back();
        EXPECT_EQ(box.text.substr(0, c.text.size()), c.text);
        EXPECT_EQ(box.icon, c.icon);
        EXPECT_EQ(box.title, c.title);
        EXPECT_FALSE(box.busyPointer);
        EXPECT_EQ(driver->Clipboard(), c.clipboardEmptied ? u"" : u"clip");
        EXPECT_EQ(driver->LabelText("lblLength"), Length(Window().MessageText().size()));
        EXPECT_FALSE(driver->Busy());
        EXPECT_FALSE(driver->BusyPointer());
    }
    // The empty key put the focus in the real key field.
    driver->TypeMessage(u"hello");
    driver->SetKey(u"");
    driver->Focus("cboEncryption");
    driver->Click("lblEncrypt");
    EXPECT_TRUE(driver->HasFocus("txtEncKey"));

    // An empty message: neither command shows anything or leaves the pointer busy.
    const std::size_t shown = BoxCount();
    driver->SetKey(u"key");
    driver->TypeMessage(u"");
    driver->Click("lblEncrypt");
    driver->Click("lblDecrypt");
    EXPECT_EQ(BoxCount(), shown);
    EXPECT_FALSE(driver->BusyPointer());
}

TEST_F(Commands, ACommandCannotStartWhileAnotherRuns) {
    driver->TypeMessage(u"message");
    int attempts = 0;
    // While the key box holds the first command, try every command again.
    driver->onBox = [&] {
        if (attempts++ > 0) {
            return;
        }
        EXPECT_TRUE(Window().CommandRunning());
        driver->Click("lblEncrypt");
        driver->Click("lblDecrypt");
        driver->Click("lblClear");
        driver->Click("lblCopyText");
    };
    driver->SetClipboard(u"clip");
    driver->Click("lblEncrypt");
    EXPECT_EQ(BoxCount(), 1u);                      // the second commands showed nothing
    EXPECT_EQ(Window().MessageText(), u"message");  // Clear was refused
    EXPECT_EQ(driver->Clipboard(), u"clip");        // so was Copy
    EXPECT_FALSE(Window().CommandRunning());
    EXPECT_FALSE(driver->BusyPointer());

    // Closing while a command runs waits for its end.
    driver->onBox = [&] { driver->RequestClose(); };
    driver->SetKey(u"");
    driver->Click("lblDecrypt");
    EXPECT_TRUE(driver->Closed());
}

TEST_F(Commands, TheMessageEncodingLetsAnyLanguageThrough) {
    const std::u16string message = u"\u041f\u0440\u0438\u0432\u0435\u0442, \u4e16\u754c \U0001F600";
    driver->SetKey(u"key");
    driver->TypeMessage(message);
    driver->Click("lblEncrypt");
    ASSERT_EQ(BoxCount(), 1u);  // Windows-1252 cannot hold it: refused, nothing changed
    EXPECT_NE(driver->Boxes().back().text.find(u"UTF-8"), std::u16string::npos) << LastBox();
    EXPECT_EQ(Window().MessageText(), message);

    driver->ChooseMenu("mnuEncodingUtf8");
    driver->Click("lblEncrypt");
    ASSERT_EQ(BoxCount(), 1u);
    driver->Click("lblDecrypt");
    ASSERT_EQ(BoxCount(), 1u);
    EXPECT_EQ(Window().MessageText(), message);
}

TEST_F(Commands, AnEnvelopeSealedWithMorePassesOpensWithTheListsOne) {
    const std::u16string cipher = ciphers.back();
    auto engine = CreateEngine(cipher);
    const std::string sealed = envelope::MakeEnvelope(*engine, ByteArray{'h', 'i'}, u"key", 2);  // tavorin-cli -p 2
    driver->Choose(cipher);
    driver->SetKey(u"key");
    driver->TypeMessage(std::u16string(sealed.begin(), sealed.end()));
    driver->Click("lblDecrypt");
    EXPECT_EQ(BoxCount(), 0u);
    EXPECT_EQ(Window().MessageText(), u"hi");
    EXPECT_EQ(driver->LabelText("lblResult"), u"Results: Message decrypted with " + cipher + u" with 2 passes");
}

// A large message: the progress bar shows and is painted during the work and hides after it,
// and the envelope and its message come back whole. With `print`, how long each step took.
void LargeMessage(WindowDriver& driver, std::size_t size, bool print) {
    std::u16string message;
    const std::u16string line = u"The quick brown fox jumps over the lazy dog 0123456789.\r\n";
    while (message.size() + line.size() <= size) {
        message += line;
    }
    message.append(size - message.size(), u'x');
    MainForm& window = driver.Window();
    driver.WatchProgress();
    driver.SetProgressDelay(0);  // however fast this machine is
    driver.SetKey(u"big");
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    auto start = Clock::now();
    window.SetMessageText(message);
    const auto shown = Clock::now() - start;
    start = Clock::now();
    driver.Click("lblEncrypt");
    const auto encrypted = Clock::now() - start;
    ASSERT_TRUE(driver.Boxes().empty());
    EXPECT_GE(driver.ProgressShown(), 1);
    EXPECT_GE(driver.ProgressPainted(), 1);
    EXPECT_FALSE(driver.ProgressVisible());
    const std::u16string envelope = window.MessageText();
    EXPECT_EQ(envelope.size(), 3 * (64 + (size + 12 + 7) / 8 * 8) - 1);
    driver.CheckLargeEnvelope(envelope);
    start = Clock::now();
    driver.Click("lblDecrypt");
    const auto decrypted = Clock::now() - start;
    ASSERT_TRUE(driver.Boxes().empty());
    EXPECT_TRUE(window.MessageText() == message);
    if (print) {
        std::printf("%zu characters: shown %lld ms, Encrypt %lld ms, Decrypt %lld ms\n", size, ms(shown), ms(encrypted),
                    ms(decrypted));
    }
}

TEST_F(Commands, ALargeMessageShowsProgressAndLeavesAUsableArea) { LargeMessage(*driver, driver->LargeSize(), false); }

// The figures of 1 and 4 MiB: run by hand (--gtest_also_run_disabled_tests).
TEST_F(Commands, DISABLED_Timings) {
    for (const std::size_t size : {std::size_t{1} << 20, std::size_t{4} << 20}) {
        LargeMessage(*driver, size, true);
    }
}

}  // namespace
