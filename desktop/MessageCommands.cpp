#include "desktop/MessageCommands.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <string>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/TextGate.h"
#include "base/Types.h"
#include "codecs/modHEX.h"
#include "desktop/LargeText.h"
#include "desktop/TextScan.h"
#include "envelope/Detect.h"
#include "envelope/Envelope.h"
#include "envelope/Find.h"

namespace tavorin {

namespace {

constexpr std::u16string_view kNeedKey = u"You must enter a key";
constexpr std::u16string_view kEncrypting = u"Status: Encrypting Message...Please Wait";
constexpr std::u16string_view kDecrypting = u"Status: Decrypting Message...Please Wait";
constexpr std::u16string_view kAuthFailed =
    u"Message Authentication failed.\r\nMake sure full message has been entered before decrypting";
constexpr std::u16string_view kCannotDecrypt = u"Cannot decrypt text any further";
constexpr std::u16string_view kWrongKeyStatus = u"Status: Decryption failed: wrong key";
constexpr std::u16string_view kErrorTitle = u"Error";

// Errors that are no Failure get the numbers the runtime gives them.
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::int32_t kInternalError = 51;

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string Decimal(std::int64_t n) { return Ascii(std::to_string(n)); }

// The pairs of an envelope, folded by a mail program or not: where the text holds a line break,
// the command line's unwrapping rule comes first. That rule looks only at blanks and line
// breaks, and a character past U+007E is no digit either way, so the text goes through it as
// bytes with such characters as 0x7F. A text without line breaks is read as it always was.
ByteArray ReadPairs(std::u16string_view text) {
    if (!HasLineBreak(text)) {
        return envelope::DecodePairs(text);
    }
    std::string narrow(text.size(), '\x7F');
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < 0x7F) {
            narrow[i] = static_cast<char>(text[i]);
        }
    }
    envelope::UnwrapText(narrow);
    return envelope::DecodePairs(std::string_view(narrow));
}

// Descriptions are UTF-8; one that is not must still reach the box.
std::u16string DescriptionText(const std::string& utf8) {
    if (IsValidUtf8(utf8)) {
        return FromUtf8(utf8);
    }
    std::u16string out;
    for (const char c : utf8) {
        out.push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'?');
    }
    return out;
}

// The numeric value of the pass-count text, read as the list shows it: leading blanks, an
// optional sign and the digits that follow; anything else ends the number ("" is 0).
std::int64_t PassCountValue(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - u'0'), std::int64_t{1} << 40);
    }
    return negative ? -value : value;
}

// A pass count below 1 would leave the message unencrypted inside an "envelope" (or hand
// back the ciphertext as the message): refused.
std::int64_t WantedPasses(MessageWindow& window) {
    const std::int64_t wanted = PassCountValue(window.PassCountText());
    if (wanted < 1) {
        throw Failure(FailureKind::BadArgument, "The number of passes must be at least 1");
    }
    return wanted;
}

// The window's pass loop: the pass-count text is read again before every pass and compared with
// the count, which is kept in 16 bits; each pass's result is shown, then the window gets its turn.
// Decrypt (given its engine and key) goes on after the chosen passes while the result is itself a
// frame that fits, as decrypt -p auto does: the list offers only "1", and an envelope sealed with
// more passes elsewhere would otherwise show its inner ciphertext as the message.
class WindowPasses final : public envelope::PassHook {
public:
    WindowPasses(MessageWindow& window, std::int16_t& count, std::u16string& result, Engine* opening = nullptr,
                 std::u16string_view key = {})
        : window_(window), count_(count), result_(result), opening_(opening), key_(key) {}

    bool GoOn(std::int64_t, const ByteArray& bytes) override {
        const std::int64_t wanted = WantedPasses(window_);
        if (opening_ != nullptr && count_ >= wanted) {
            if (count_ >= envelope::MaxPasses || !envelope::FrameFits(*opening_, bytes, key_)) {
                return false;
            }
        } else if (wanted == count_) {
            return false;
        }
        result_.clear();
        return true;
    }

    void Passed(std::int64_t, const ByteArray& bytes) override {
        // Shown as Windows-1252 text; after Decrypt's last pass that is the message, unless
        // UTF-8 is chosen (Open decodes it once more).
        result_ = DecodeMessage(bytes, MessageEncoding::Windows1252);
        window_.SetMessageText(u"");
        // The window keeps the result itself, not a copy: Encrypt reads it from there.
        window_.SetMessageText(std::move(result_));
        if (count_ == INT16_MAX) {
            throw Failure(FailureKind::TooLarge);
        }
        ++count_;
        window_.Yield();
    }

private:
    MessageWindow& window_;
    std::int16_t& count_;
    std::u16string& result_;
    Engine* opening_;
    std::u16string_view key_;
};

// Turns the busy pointer on for the life of a command; Off() may come earlier, once.
class BusyPointer {
public:
    explicit BusyPointer(MessageWindow& window) : window_(window) { window_.SetBusy(true); }
    ~BusyPointer() { Off(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
    void Off() noexcept {
        if (on_) {
            on_ = false;
            try {
                window_.SetBusy(false);
            } catch (...) {
            }
        }
    }

private:
    MessageWindow& window_;
    bool on_ = true;
};

// While a command runs, the engine's events go to this command: progress to the window, the
// wrong-key text kept for the one box the command shows. The owner's handlers come back after.
class EngineEvents {
public:
    EngineEvents(Engine& engine, MessageWindow& window)
        : engine_(engine),
          window_(window),
          progress_(std::move(engine.Progress)),
          wrongKey_(std::move(engine.WrongKey)) {
        engine_.Progress = [this](std::int32_t percent) {
            shown_ = true;
            window_.ShowProgress(percent);
        };
        engine_.WrongKey = [this](std::u16string_view text) { wrongKeyText_ = std::u16string(text); };
    }
    ~EngineEvents() {
        engine_.Progress = std::move(progress_);
        engine_.WrongKey = std::move(wrongKey_);
        if (shown_) {
            try {
                window_.ShowProgress(-1);
            } catch (...) {
            }
        }
    }
    EngineEvents(const EngineEvents&) = delete;
    EngineEvents& operator=(const EngineEvents&) = delete;

    std::u16string WrongKeyText() const {
        return wrongKeyText_.empty() ? std::u16string(Engine::WrongKeyText) : wrongKeyText_;
    }

private:
    Engine& engine_;
    MessageWindow& window_;
    std::function<void(std::int32_t)> progress_;
    std::function<void(std::u16string_view)> wrongKey_;
    std::u16string wrongKeyText_;
    bool shown_ = false;
};

class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

void ShowGeneralError(MessageWindow& window, std::int32_t number, const std::u16string& description) {
    window.ShowMessage(u"An error has occurred\r\nErr: " + Decimal(number) + u"\r\n" + description,
                       MessageIcon::Exclamation, kErrorTitle);
}

// Shows the box naming what Windows-1252 cannot hold in a key.
void RefuseKey(MessageWindow& window, char32_t refused) {
    window.ShowMessage(u"The key holds the character " + FromUtf8(DescribeCodePoint(refused)) +
                           u", which Windows-1252 cannot hold.\r\n"
                           u"Keys may use only the characters of Windows-1252.",
                       MessageIcon::Exclamation, u"Key");
}

// Wipes key material when it goes out of scope, however the command ends.
class WipedOnExit {
public:
    explicit WipedOnExit(std::u16string& text) : text_(text) {}
    ~WipedOnExit() { SecureWipe(text_); }
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;

private:
    std::u16string& text_;
};

// The message's bytes in the window's encoding (with room for a frame), or a box naming what
// Windows-1252 cannot hold.
std::optional<ByteArray> MessageOrRefuse(MessageWindow& window, std::u16string_view message, MessageEncoding encoding) {
    try {
        return EncodeMessage(message, encoding, 64);
    } catch (const TextFailure& refused) {
        window.ShowMessage(u"The message holds the character " + FromUtf8(DescribeCodePoint(refused.Character())) +
                               u", which Windows-1252 cannot hold.\r\n"
                               u"Choose UTF-8 as the message encoding to encrypt this message.",
                           MessageIcon::Exclamation, u"Message");
        return std::nullopt;
    }
}

// The envelope as the window's text, with zeros standing where the digest's pairs go (the
// digest is still being taken): widened into the text a piece at a time, with no narrow copy of
// the whole beside it.
std::u16string EnvelopeOf(const ByteArray& ciphertext) {
    std::u16string text = LargeText(envelope::EnvelopeLength(ciphertext.size()));
    std::array<char16_t, 8192> wide;
    envelope::WriteEnvelope({}, ciphertext, [&](const char* data, std::size_t size) {
        for (std::size_t at = 0; at < size; at += wide.size()) {
            const std::size_t n = std::min(wide.size(), size - at);
            std::copy_n(data + at, n, wide.begin());
            text.append(wide.data(), n);
        }
    });
    return text;
}

// The digest's pairs written over the stand-in at the front of an envelope from EnvelopeOf.
void PutDigest(std::u16string& envelopeText, const std::array<char, envelope::DigestLength>& digest) {
    std::array<char, 3 * envelope::DigestLength> pairs;
    modHEX::WriteSpacedPairs(reinterpret_cast<const std::uint8_t*>(digest.data()), digest.size(), pairs.data());
    std::copy(pairs.begin(), pairs.end() - 1, envelopeText.begin());  // the space after stays
}

// Encrypt's work once the key passed: false when it ended early (with its box shown).
bool Seal(MessageWindow& window, Engine& engine, const std::u16string& key, const std::u16string& messageText,
          std::int16_t& passCount, std::u16string& passResult) {
    auto bytes = MessageOrRefuse(window, messageText, window.Encoding());
    if (!bytes) {
        return false;
    }
    passCount = 0;
    window.SetStatusText(kEncrypting);
    WindowPasses passes(window, passCount, passResult);
    envelope::EncryptPasses(engine, *bytes, key, passes);

    // The digest in front of the ciphertext, then the whole as pairs. The digest is taken while
    // both texts are made with a stand-in where it goes, written in after.
    std::u16string digestAndCiphertext;
    std::u16string envelopeText;
    const auto digest = DigestWhile(*bytes, [&] {
        // The last pass's result: the window holds it.
        const std::u16string& ciphertextText = passCount > 0 ? window.PeekMessageText() : passResult;
        digestAndCiphertext = LargeText(envelope::DigestLength + ciphertextText.size());
        digestAndCiphertext.append(envelope::DigestLength, u'0');
        digestAndCiphertext += ciphertextText;
        envelopeText = EnvelopeOf(*bytes);
    });
    std::copy(digest.begin(), digest.end(), digestAndCiphertext.begin());
    PutDigest(envelopeText, digest);
    window.SetMessageText(std::move(digestAndCiphertext));
    window.SetMessageText(std::move(envelopeText));
    SecureWipe(*bytes);
    return true;
}

// Decrypt's work once the key passed: false when it ended early (with its box shown).
// The window's text, taken for the rest of a command; put back when the command fails before
// it writes the window's text anew.
class TakenText {
public:
    explicit TakenText(MessageWindow& window) : window_(window), text_(window.TakeMessageText()) {}
    ~TakenText() {
        if (!written_) {
            try {
                window_.SetMessageText(std::u16string_view(text_));
            } catch (...) {
            }
        }
    }
    TakenText(const TakenText&) = delete;
    TakenText& operator=(const TakenText&) = delete;

    const std::u16string& Text() const noexcept { return text_; }
    void Written() noexcept { written_ = true; }

private:
    MessageWindow& window_;
    std::u16string text_;
    bool written_ = false;
};

bool Open(MessageWindow& window, Engine& engine, const std::u16string& key, const std::u16string& shownText,
          const EngineEvents& events, BusyPointer& busy, std::int16_t& passCount, std::u16string& passResult) {
    passCount = 0;
    window.SetStatusText(kDecrypting);
    ByteArray bytes = ReadPairs(shownText);
    // Kept for a failure that shows the envelope again, without a copy.
    TakenText taken(window);
    const std::u16string& envelopeText = taken.Text();
    window.SetMessageText(AnsiCodePage::BytesToText(bytes));
    taken.Written();
    const bool authentic = envelope::DigestMatches(bytes);
    envelope::StripDigest(bytes);
    window.SetMessageText(AnsiCodePage::BytesToText(bytes));
    if (!authentic) {
        window.ShowMessage(kAuthFailed, MessageIcon::None, u"");
        window.SetMessageText(u"");
        busy.Off();
        window.ClearClipboard();
        window.SetStatusText(u"");
        return false;
    }

    WindowPasses passes(window, passCount, passResult, &engine, key);
    if (envelope::DecryptPasses(engine, bytes, key, passes) == envelope::OpenStatus::WrongKey) {
        // A wrong key: say so once, keep the envelope, claim nothing.
        SecureWipe(bytes);
        window.ShowMessage(events.WrongKeyText(), MessageIcon::Critical, Engine::WrongKeyTitle);
        window.SetMessageText(envelopeText);
        window.SetStatusText(kWrongKeyStatus);
        busy.Off();
        return false;
    }

    if (window.Encoding() == MessageEncoding::Utf8) {
        std::u16string text;
        try {
            text = DecodeMessage(bytes, MessageEncoding::Utf8);
        } catch (const TextFailure&) {
            // Keep the envelope, so that it can be opened again as Windows-1252.
            window.ShowMessage(
                u"The decrypted message is not UTF-8 text.\r\n"
                u"Choose Windows-1252 as the message encoding and decrypt again.",
                MessageIcon::Exclamation, kErrorTitle);
            window.SetMessageText(envelopeText);
            window.SetStatusText(u"");
            busy.Off();
            passResult.clear();
            return false;
        }
        window.SetMessageText(std::move(text));
    }
    SecureWipe(bytes);
    return true;
}

void ShowFailure(MessageWindow& window, bool encrypt, std::int32_t number, const std::u16string& description,
                 BusyPointer& busy) {
    if (!encrypt && number == Failure::SubscriptOutOfRange) {
        window.ShowMessage(kCannotDecrypt, MessageIcon::None, kErrorTitle);
        busy.Off();
        return;
    }
    ShowGeneralError(window, number, description);
    busy.Off();
    if (!encrypt) {
        window.SetStatusText(u"");
    }
}

}  // namespace

void MessageCommands::cmdEncrypt_Click(Engine& SelectedEngine) { Run(SelectedEngine, true); }

void MessageCommands::cmdDecrypt_Click(Engine& SelectedEngine) { Run(SelectedEngine, false); }

// What both commands do: refuse a second command, take over the engine's events, turn on the
// busy pointer, show the empty-key box or end silently on an empty text, pass the key through
// the gate, do the work and say what was done. Every copy of the key is wiped, however it ends.
void MessageCommands::Run(Engine& engine, bool encrypt) {
    if (running_) {
        return;
    }
    const RunningFlag flag(running_);
    const EngineEvents events(engine, window_);
    BusyPointer busy(window_);

    std::u16string keyText = window_.KeyText();
    const WipedOnExit keyTextWiped(keyText);
    if (keyText.empty()) {
        window_.ShowMessage(kNeedKey, MessageIcon::None, u"");
        window_.FocusKeyField();
        return;
    }
    const std::u16string& text = window_.PeekMessageText();
    if (text.empty()) {
        return;
    }
    std::int16_t& passCount = encrypt ? EncryptPassCount : DecryptPassCount;
    try {
        GatedText key = PassTextGate(keyText);
        const WipedOnExit keyWiped(key.text);
        if (key.refused) {
            RefuseKey(window_, *key.refused);
            return;
        }
        const bool done = encrypt ? Seal(window_, engine, key.text, text, passCount, PassResult)
                                  : Open(window_, engine, key.text, text, events, busy, passCount, PassResult);
        if (!done) {
            return;
        }
        window_.SetStatusText(u"Results: Message " + std::u16string(encrypt ? u"encrypted" : u"decrypted") + u" with " +
                              window_.EngineName() + u" with " + Decimal(passCount) + u" passes");
        busy.Off();
        PassResult.clear();
        window_.ClearClipboard();
    } catch (const Failure& f) {
        ShowFailure(window_, encrypt, f.Number(), DescriptionText(f.Description()), busy);
    } catch (const std::bad_alloc&) {
        ShowFailure(window_, encrypt, kOutOfMemory, u"Out of memory", busy);
    } catch (const std::exception& e) {
        ShowFailure(window_, encrypt, kInternalError, DescriptionText(e.what()), busy);
    }
}

}  // namespace tavorin
