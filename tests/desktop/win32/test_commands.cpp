// Encrypt and Decrypt through the Win32 window's real controls, under wine: the cases the Qt
// window's tests hold its window to (round trips for every engine, the refusals as boxes,
// re-entry, the message encoding, large messages, more passes), and the exact text kept
// beside the control, which ends a text at a NUL.
#include <windows.h>
#undef Yield
// after windows.h
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "desktop/win32/Platform.h"
#include "desktop/win32/frmMain.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

using namespace tavorin;
using namespace tavorin::win32;

namespace {

struct Box {
    std::u16string text;
    MessageIcon icon;
    std::u16string title;
    bool busyPointer;
};

class RecordingDesktop final : public Desktop {
public:
    std::vector<Box> boxes;
    std::function<void()> onBox;
    const frmMain* window = nullptr;

    void ShowBox(HWND, std::u16string_view text, MessageIcon icon, std::u16string_view title) override {
        boxes.push_back({std::u16string(text), icon, std::u16string(title), window != nullptr && window->Busy()});
        if (onBox) {
            onBox();
        }
    }
    void OpenAddress(HWND, std::u16string_view) override {}
};

std::u16string Clipboard(bool* secret = nullptr) {
    std::u16string text;
    if (!OpenClipboard(nullptr)) {
        return u"(clipboard busy)";
    }
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const char16_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    if (secret != nullptr) {
        *secret = IsClipboardFormatAvailable(RegisterClipboardFormatW(L"CanIncludeInClipboardHistory")) != 0;
    }
    CloseClipboard();
    return text;
}

void SetClipboard(std::u16string_view text) { CopyToClipboard(nullptr, text, false); }

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<frmMain>(desktop);
        desktop.window = window.get();
    }
    void TearDown() override {
        window.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND Control(const char* name) const { return window->Control(name); }
    std::u16string Text(const char* name) const {
        wchar_t text[256] = {};
        GetWindowTextW(Control(name), text, 256);
        return Utf16(text);
    }
    void Click(const char* name) {
        SendMessageW(window->Handle(), WM_COMMAND, MAKEWPARAM(window->ControlId(name), STN_CLICKED),
                     reinterpret_cast<LPARAM>(Control(name)));
    }
    void Choose(std::u16string_view cipher) {
        SendMessageW(Control("cboEncryption"), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(Wide(cipher).c_str()));
        SendMessageW(window->Handle(), WM_COMMAND, MAKEWPARAM(window->ControlId("cboEncryption"), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Control("cboEncryption")));
    }
    void SetKey(std::u16string_view key) { SetWindowTextW(Control("txtEncKey"), Wide(key).c_str()); }
    // As typed or pasted: into the control, which tells the window.
    void TypeMessage(std::u16string_view text) {
        SendMessageW(Control("txtMessage"), EM_SETSEL, 0, -1);
        SendMessageW(Control("txtMessage"), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
    }
    std::u16string Length(std::size_t characters) { return u"Length: " + Utf16(std::to_wstring(characters)); }

    void RoundTrip(std::u16string_view cipher, std::u16string_view message, std::u16string_view key) {
        SCOPED_TRACE(std::string(cipher.begin(), cipher.end()));
        Choose(cipher);
        SetKey(key);
        TypeMessage(message);
        const std::size_t before = desktop.boxes.size();
        Click("lblEncrypt");
        ASSERT_EQ(desktop.boxes.size(), before);
        EXPECT_EQ(Text("lblResult"), u"Results: Message encrypted with " + std::u16string(cipher) + u" with 1 passes");
        const std::u16string envelope = window->MessageText();
        ASSERT_EQ(envelope.size() % 3, 2u);
        for (std::size_t i = 0; i < envelope.size(); ++i) {
            const char16_t c = envelope[i];
            ASSERT_TRUE(i % 3 == 2 ? c == u' ' : ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')));
        }
        EXPECT_EQ(Text("lblLength"), Length(envelope.size()));
        EXPECT_EQ(Clipboard(), u"");  // emptied by Encrypt
        EXPECT_FALSE(window->Busy());

        Click("lblCopyText");
        bool secret = true;
        EXPECT_EQ(Clipboard(&secret), envelope);
        EXPECT_FALSE(secret);  // the envelope is meant to be kept
        Click("lblClear");
        EXPECT_EQ(window->MessageText(), u"");
        SendMessageW(Control("txtMessage"), WM_PASTE, 0, 0);
        EXPECT_EQ(window->MessageText(), envelope);
        SetKey(key);
        Click("lblDecrypt");
        ASSERT_EQ(desktop.boxes.size(), before)
            << std::string(desktop.boxes.back().text.begin(), desktop.boxes.back().text.end());
        EXPECT_EQ(window->MessageText(), message);
        EXPECT_EQ(Text("lblResult"), u"Results: Message decrypted with " + std::u16string(cipher) + u" with 1 passes");
        EXPECT_EQ(Text("lblLength"), Length(message.size()));
        Click("lblCopyText");
        EXPECT_EQ(Clipboard(&secret), message);
        EXPECT_TRUE(secret);  // decrypted text stays out of the clipboard's history
    }

    RecordingDesktop desktop;
    std::unique_ptr<frmMain> window;
};

TEST_F(Commands, EveryEngineRoundTripsThroughTheControls) {
    const std::u16string message =
        u"Dear Ann,\r\nthe meeting is at 10:00 \u2013 bring \u20ac50.\r\n\tBob\x01\x7f\u00ff";
    for (const std::u16string_view cipher : EngineNames) {
        RoundTrip(cipher, message, u"correct horse \u00e9");
        RoundTrip(cipher, u"x", u"k");
    }
}

// The control shows a text up to its first NUL and turns line breaks into CR; the commands
// work on the exact text all the same, and the length line counts it.
TEST_F(Commands, TheExactTextIsKeptBesideTheControl) {
    const std::u16string message = std::u16string(u"a\0b\rc\nd\r\n", 9);
    SetKey(u"key");
    window->SetMessageText(message);
    EXPECT_EQ(Text("lblLength"), Length(message.size()));
    Click("lblEncrypt");
    Click("lblDecrypt");
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(window->MessageText(), message);
    // Once the user edits, the control's text is the message.
    TypeMessage(u"typed\r\nanew");
    EXPECT_EQ(window->MessageText(), u"typed\r\nanew");
}

TEST_F(Commands, RefusalsShowAsBoxesOfTheirKind) {
    SetKey(u"key");
    TypeMessage(u"a message of some length");
    Click("lblEncrypt");
    const std::u16string envelope = window->MessageText();
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
        {u"hello", u"", "lblEncrypt", MessageIcon::None, u"", u"You must enter a key", false},
        {u"just words", u"key", "lblDecrypt", MessageIcon::None, u"Error", u"Cannot decrypt text any further", false},
        {envelope.substr(0, envelope.size() - 6), u"key", "lblDecrypt", MessageIcon::None, u"",
         u"Message Authentication failed.\r\nMake sure full message has been entered before decrypting", true},
        {envelope.substr(0, 3 * 10 - 1), u"key", "lblDecrypt", MessageIcon::Exclamation, u"Error",
         u"An error has occurred\r\nErr: 5\r\n", false},
        {envelope, u"wrong", "lblDecrypt", MessageIcon::Critical, u"Key", std::u16string(Engine::WrongKeyText), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        SetClipboard(u"clip");
        TypeMessage(c.message);
        SetKey(c.key);
        SetFocus(Control("cboEncryption"));
        const std::size_t before = desktop.boxes.size();
        Click(c.command);
        ASSERT_EQ(desktop.boxes.size(), before + 1);
        const Box& box = desktop.boxes.back();
        EXPECT_EQ(box.text.substr(0, c.text.size()), c.text);
        EXPECT_EQ(box.icon, c.icon);
        EXPECT_EQ(box.title, c.title);
        EXPECT_FALSE(box.busyPointer);
        EXPECT_EQ(Clipboard(), c.clipboardEmptied ? u"" : u"clip");
        EXPECT_EQ(Text("lblLength"), Length(window->MessageText().size()));
        EXPECT_FALSE(window->Busy());
    }
    // The empty key put the focus in the key field.
    TypeMessage(u"hello");
    SetKey(u"");
    SetFocus(Control("cboEncryption"));
    Click("lblEncrypt");
    EXPECT_EQ(GetFocus(), Control("txtEncKey"));
}

TEST_F(Commands, ACommandCannotStartWhileAnotherRuns) {
    TypeMessage(u"message");
    int attempts = 0;
    // While the key box holds the first command, try every command again.
    desktop.onBox = [&] {
        if (attempts++ > 0) {
            return;
        }
        EXPECT_TRUE(window->CommandRunning());
        Click("lblEncrypt");
        Click("lblDecrypt");
        Click("lblClear");
        Click("lblCopyText");
    };
    SetClipboard(u"clip");
    Click("lblEncrypt");
    EXPECT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(window->MessageText(), u"message");
    EXPECT_EQ(Clipboard(), u"clip");
    EXPECT_FALSE(window->CommandRunning());

    // Closing while a command runs waits for its end.
    desktop.onBox = [&] { SendMessageW(window->Handle(), WM_CLOSE, 0, 0); };
    Click("lblDecrypt");
    EXPECT_NE(window->Handle(), nullptr);
    MSG msg;
    while (window->Handle() != nullptr && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(window->Handle(), nullptr);
}

TEST_F(Commands, TheMessageEncodingLetsAnyLanguageThrough) {
    const std::u16string message = u"\u041f\u0440\u0438\u0432\u0435\u0442, \u4e16\u754c \U0001F600";
    SetKey(u"key");
    TypeMessage(message);
    Click("lblEncrypt");
    ASSERT_EQ(desktop.boxes.size(), 1u);  // Windows-1252 cannot hold it: refused, nothing changed
    EXPECT_NE(desktop.boxes.back().text.find(u"UTF-8"), std::u16string::npos);
    EXPECT_EQ(window->MessageText(), message);

    std::size_t utf8 = 0;
    while (forms::Main.menu[utf8].name != "mnuEncodingUtf8") {
        ++utf8;
    }
    SendMessageW(window->Handle(), WM_COMMAND, 2000 + utf8, 0);
    Click("lblEncrypt");
    Click("lblDecrypt");
    EXPECT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(window->MessageText(), message);
}

TEST_F(Commands, AnEnvelopeSealedWithMorePassesOpensWithTheListsOne) {
    const std::u16string cipher(EngineNames.back());
    auto engine = CreateEngine(cipher);
    const std::string sealed = envelope::MakeEnvelope(*engine, ByteArray{'h', 'i'}, u"key", 2);  // tavorin-cli -p 2
    Choose(cipher);
    SetKey(u"key");
    TypeMessage(std::u16string(sealed.begin(), sealed.end()));
    Click("lblDecrypt");
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(window->MessageText(), u"hi");
    EXPECT_EQ(Text("lblResult"), u"Results: Message decrypted with " + cipher + u" with 2 passes");
}

// The progress bar shows and is painted during long work, and hides after it.
LRESULT CALLBACK CountPaints(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR counter) {
    if (message == WM_PAINT) {
        ++*reinterpret_cast<int*>(counter);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void LargeMessage(frmMain& window, RecordingDesktop& desktop, std::size_t size, bool print) {
    std::u16string message;
    const std::u16string line = u"The quick brown fox jumps over the lazy dog 0123456789.\r\n";
    while (message.size() + line.size() <= size) {
        message += line;
    }
    message.append(size - message.size(), u'x');
    ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);  // painted only when shown
    int paints = 0;
    HWND progress = window.Control("prgWork");
    SetWindowSubclass(progress, CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints));
    window.SetProgressDelay(0);  // however fast this machine is
    SetWindowTextW(window.Control("txtEncKey"), L"big");
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
    auto start = Clock::now();
    window.SetMessageText(message);
    const auto shown = Clock::now() - start;
    const int encrypt = window.ControlId("lblEncrypt");
    const int decrypt = window.ControlId("lblDecrypt");
    start = Clock::now();
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(encrypt, STN_CLICKED),
                 reinterpret_cast<LPARAM>(window.Control("lblEncrypt")));
    const auto encrypted = Clock::now() - start;
    start = Clock::now();
    window.SetMessageText(window.MessageText());
    const auto envelopeShown = Clock::now() - start;
    ASSERT_TRUE(desktop.boxes.empty());
    EXPECT_GE(paints, 1);
    EXPECT_FALSE(IsWindowVisible(progress));
    EXPECT_EQ(window.MessageText().size(), 3 * (64 + (size + 12 + 7) / 8 * 8) - 1);
    start = Clock::now();
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(decrypt, STN_CLICKED),
                 reinterpret_cast<LPARAM>(window.Control("lblDecrypt")));
    const auto decrypted = Clock::now() - start;
    ASSERT_TRUE(desktop.boxes.empty());
    EXPECT_TRUE(window.MessageText() == message);
    RemoveWindowSubclass(progress, CountPaints, 1);
    if (print) {
        std::printf("%zu bytes: shown %lld ms, Encrypt %lld ms (its envelope shown again %lld ms), Decrypt %lld ms\n",
                    size, static_cast<long long>(ms(shown)), static_cast<long long>(ms(encrypted)),
                    static_cast<long long>(ms(envelopeShown)), static_cast<long long>(ms(decrypted)));
    }
}

TEST_F(Commands, ALargeMessageShowsProgress) { LargeMessage(*window, desktop, std::size_t{64} << 10, false); }

// The figures of 1 and 4 MiB: run by hand (--gtest_also_run_disabled_tests).
TEST_F(Commands, DISABLED_Timings) {
    for (const std::size_t size : {std::size_t{1} << 20, std::size_t{4} << 20}) {
        LargeMessage(*window, desktop, size, true);
    }
}

}  // namespace
