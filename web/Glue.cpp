// The page's way into the core: plain C functions over buffers in the module's memory, called
// by the page's worker one operation at a time. The answer waits in the module until the
// worker has copied it out and calls tv_release, which wipes what is secret: the key and the
// message. The key and the message handed in are wiped before each call returns, and so is
// every copy made of them here; envelopes are not.
//
// Answers carry the core's exit codes (envelope/Exit.h): 0 done, 1 not an envelope (or bad
// input), 2 damaged, 3 wrong key, cipher or passes, 5 past the page's limits.

#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/TextGate.h"
#include "base/Types.h"
#include "engines/Registry.h"
#include "envelope/Detect.h"
#include "envelope/Envelope.h"
#include "envelope/Exit.h"

namespace {

using namespace tavorin;

using envelope::ExitCode;

constexpr int FindIt = -1;  // the cipher list's "Find it"

// The page's limits: well inside what 32-bit WebAssembly memory holds while a message, its
// envelope and the text on both sides of the worker exist at once.
constexpr std::size_t MaxMessage = std::size_t{32} << 20;
constexpr std::size_t MaxEnvelopeText = 4 * (MaxMessage + (std::size_t{1} << 20));

struct Result {
    ExitCode status = ExitCode::Ok;
    std::string text;            // the result (UTF-8)
    ByteArray message;           // or the opened message as it is, when it is that already
    bool textIsMessage = false;  // else the text is an envelope, which is no secret
    std::string detail;          // what the status line says
    std::string warning;         // and what it adds about the key, e.g. characters the cipher does not read
    std::string cipher;
    int passes = 0;
    bool composable = false;  // refused for a character that composing letters may remove
    bool readsUtf8 = false;   // opened as Windows-1252, but the message reads as UTF-8
} answer;

// Wipes the result where it is a message, and lets it go.
void DropResult() {
    SecureWipe(answer.message);
    if (answer.textIsMessage) {
        SecureWipe(answer.text);
    }
    answer.message = {};
    answer.text = {};
}

// Raised for bad input with the words the page shows.
struct Refusal {
    ExitCode status;
    std::string words;
    bool composable = false;
};

// Wipes a buffer the worker handed in, however the call ends.
struct WipeOnExit {
    std::uint8_t* data;
    std::size_t size;
    ~WipeOnExit() { SecureWipe(data, size); }
};

EM_JS(void, tv_report_progress, (int pass, int passes, int percent), {
    if (Module["onProgress"])
        Module["onProgress"](pass, passes, percent);
});

std::unique_ptr<Engine> EngineAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= EngineNames.size()) {
        throw Refusal{ExitCode::Usage, "unknown cipher"};
    }
    auto engine = CreateEngine(EngineNames[static_cast<std::size_t>(index)]);
    if (!engine) {
        throw Refusal{ExitCode::Usage, "the cipher is not built into this page"};
    }
    return engine;
}

std::u16string Key(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        throw Refusal{ExitCode::Usage, "Type the key"};
    }
    std::u16string typed = FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    GatedText key = PassTextGate(typed);
    SecureWipe(typed);
    if (key.refused) {
        throw Refusal{ExitCode::Usage, "The key holds the character " + DescribeCodePoint(*key.refused) +
                                           ", which the Windows-1252 code page cannot hold"};
    }
    return std::move(key.text);
}

// The length of the ASCII run at the start of p[0, n): eight bytes a word, since WebAssembly
// without its vector instructions would test them one by one.
std::size_t AsciiRun(const std::uint8_t* p, std::size_t n) noexcept {
    std::size_t i = 0;
    for (; n - i >= 32; i += 32) {
        std::uint64_t w[4];
        std::memcpy(w, p + i, sizeof w);
        if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080) != 0) {
            break;
        }
    }
    return i + AsciiPrefix(p + i, n - i);
}

// A file's bytes that are no UTF-8, refused by the first of them: nothing may stand in for them.
[[noreturn]] void NotUtf8(const std::uint8_t* data, std::size_t size, std::size_t at) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::uint8_t bad = data[std::min(at, size - 1)];
    throw Refusal{ExitCode::Usage,
                  std::string("the file is not UTF-8 text (byte 0x") + kDigits[bad >> 4] + kDigits[bad & 15] +
                      " at offset " + std::to_string(at) +
                      "): choose Windows-1252 to encrypt its bytes as they are, or save it as UTF-8 and "
                      "open it again"};
}

// The message's bytes: as they are (UTF-8), or one Windows-1252 byte per character, with room
// for every pass's header and padding so that the frame grows in place. The characters are
// converted in place: a byte never takes more room than the character it stands for. Typed
// text always arrives as UTF-8; bytes that are not (a file) are refused under UTF-8, and under
// Windows-1252 are what such a file holds: its Windows-1252 bytes, taken as they are.
ByteArray MessageBytes(const std::uint8_t* data, std::size_t size, bool utf8, std::size_t slack) {
    if (size > (utf8 ? MaxMessage : 3 * MaxMessage)) {
        throw Refusal{ExitCode::TooLarge, ""};
    }
    ByteArray bytes;
    bytes.reserve(size + slack);
    bytes.assign(data, data + size);
    if (utf8) {
        if (const auto bad = FirstInvalidUtf8(std::string_view(reinterpret_cast<const char*>(data), size))) {
            SecureWipe(bytes);
            NotUtf8(data, size, *bad);
        }
        return bytes;
    }
    std::uint8_t* const p = bytes.data();
    std::size_t out = AsciiRun(p, size);
    if (out < size && !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(data) + out, size - out))) {
        return bytes;
    }
    for (std::size_t i = out; i < size;) {
        if (p[i] < 0x80) {
            p[out++] = p[i++];
            continue;
        }
        const Utf8Sequence s = DecodeUtf8(p, size, i);
        if (s.length == 0) {
            SecureWipe(bytes);
            NotUtf8(data, size, i);
        }
        if (s.cp >= 0x10000 || !AnsiCodePage::CharToByte(static_cast<char16_t>(s.cp), p[out])) {
            SecureWipe(bytes);
            throw Refusal{ExitCode::Usage,
                          "the message holds the character " + DescribeCodePoint(s.cp) +
                              ", which Windows-1252 cannot hold: choose UTF-8 to encrypt it as UTF-8",
                          true};
        }
        ++out;
        i += s.length;
    }
    SecureWipe(p + out, size - out);
    bytes.resize(out);
    if (out > MaxMessage) {
        SecureWipe(bytes);
        throw Refusal{ExitCode::TooLarge, ""};
    }
    return bytes;
}

// The opened message as the answer's UTF-8 text: taken as it is when it is ASCII or UTF-8
// was chosen, else converted into text sized once, so that no copy of it is left behind.
void AnswerMessage(ByteArray& bytes, bool utf8) {
    const std::uint8_t* const p = bytes.data();
    const std::size_t n = bytes.size();
    if (utf8 && !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(p), n))) {
        throw Refusal{ExitCode::Usage, "the message is no UTF-8 text: choose Windows-1252 and decrypt again"};
    }
    if (utf8 || AsciiRun(p, n) == n) {
        answer.message = std::move(bytes);
        return;
    }
    answer.readsUtf8 = IsValidUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
    std::string& text = answer.text;
    answer.textIsMessage = true;
    // Bytes from 0x80 on stand for characters of two or three UTF-8 bytes.
    std::size_t length = n;
    for (std::size_t i = AsciiPrefix(p, n); i < n; i += AsciiPrefix(p + i, n - i)) {
        length += AnsiCodePage::ByteToChar(p[i++]) < 0x800 ? 1 : 2;
    }
    text.resize(length);
    char* q = text.data();
    for (std::size_t i = 0; i < n;) {
        const std::size_t ascii = AsciiPrefix(p + i, n - i);
        q = std::copy(p + i, p + i + ascii, q);
        i += ascii;
        for (; i < n && p[i] >= 0x80; ++i) {
            const char16_t c = AnsiCodePage::ByteToChar(p[i]);
            if (c < 0x800) {
                *q++ = static_cast<char>(0xC0 | (c >> 6));
            } else {
                *q++ = static_cast<char>(0xE0 | (c >> 12));
                *q++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            }
            *q++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

void TrackPasses(Engine& engine, int passes) {
    engine.Progress = [pass = 0, passes](std::int32_t percent) mutable {
        if (percent == 0) {
            ++pass;
        }
        tv_report_progress(pass, passes, percent);
    };
}

std::string PassWords(int passes) { return std::to_string(passes) + (passes == 1 ? " pass" : " passes"); }

// Runs one operation into `answer`, turning every refusal into its status and words.
template <class Work>
int Run(Work work) {
    answer = {};
    try {
        work();
    } catch (const Refusal& r) {
        DropResult();
        answer.status = r.status;
        answer.composable = r.composable;
        answer.detail = r.status == ExitCode::TooLarge
                            ? "The text is larger than this page takes: messages up to 32 MiB, envelopes up to "
                              "132 MiB of text. tavorin-cli takes larger ones."
                            : r.words;
    } catch (const Failure& f) {
        DropResult();
        answer.status = envelope::ExitFor(f.Kind());
        answer.detail = f.Description();
    } catch (const std::bad_alloc&) {
        DropResult();
        answer.status = ExitCode::TooLarge;
        answer.detail = "out of memory: the text is too large for this browser";
    }
    return static_cast<int>(answer.status);
}

}  // namespace

extern "C" {

// Encrypts the message (UTF-8) into an envelope.
EMSCRIPTEN_KEEPALIVE int tv_encrypt(int cipher, std::uint8_t* key, std::size_t keySize, int passes, int utf8,
                                    std::uint8_t* message, std::size_t messageSize) {
    const WipeOnExit wipeKey{key, keySize};
    const WipeOnExit wipeMessage{message, messageSize};
    return Run([&] {
        auto engine = EngineAt(cipher);
        if (passes < 1 || passes > envelope::MaxPasses) {
            throw Refusal{ExitCode::Usage,
                          "The number of passes must be from 1 to " + std::to_string(envelope::MaxPasses)};
        }
        std::u16string k = Key(key, keySize);
        const std::size_t keyLength = k.size();
        const std::size_t slack = static_cast<std::size_t>(passes) * (12 + engine->BlockSize());
        ByteArray bytes;
        try {
            bytes = MessageBytes(message, messageSize, utf8 != 0, slack);
            TrackPasses(*engine, passes);
            answer.text.reserve(static_cast<std::size_t>(envelope::EnvelopeLength(bytes.size() + slack)));
            envelope::SealToSink(*engine, bytes, k, passes,
                                 [](const char* data, std::size_t size) { answer.text.append(data, size); });
        } catch (...) {
            SecureWipe(k);
            SecureWipe(bytes);
            throw;
        }
        SecureWipe(k);
        SecureWipe(bytes);
        answer.cipher = ToUtf8(engine->Name());
        answer.passes = passes;
        answer.detail = "Encrypted with " + answer.cipher + ", " + PassWords(passes);
        answer.warning = KeyLengthWarning(engine->Name(), keyLength);
    });
}

// Opens an envelope (the text as pasted, UTF-8) into its message: cipher -1 and passes 0
// find them, as tavorin-cli decrypt does with auto.
EMSCRIPTEN_KEEPALIVE int tv_decrypt(int cipher, std::uint8_t* key, std::size_t keySize, int passes, int utf8,
                                    std::uint8_t* text, std::size_t textSize) {
    const WipeOnExit wipeKey{key, keySize};
    return Run([&] {
        if (textSize > MaxEnvelopeText) {
            throw Refusal{ExitCode::TooLarge, ""};
        }
        envelope::OpenOptions options;
        if (cipher != FindIt) {
            options.cipher = EngineAt(cipher)->Name();
        }
        if (passes != 0 && (passes < 1 || passes > envelope::MaxPasses)) {
            throw Refusal{ExitCode::Usage,
                          "The number of passes must be from 1 to " + std::to_string(envelope::MaxPasses)};
        }
        options.passes = passes;
        options.progress = [passes](std::int32_t pass, std::int32_t percent) {
            tv_report_progress(pass, passes, percent);
        };
        std::u16string k = Key(key, keySize);
        envelope::Opened opened;
        try {
            opened =
                envelope::OpenEnvelope(std::string_view(reinterpret_cast<const char*>(text), textSize), k, options);
            if (opened.status == envelope::OpenStatus::Opened) {
                AnswerMessage(opened.message, utf8 != 0);
            }
        } catch (...) {
            SecureWipe(k);
            SecureWipe(opened.message);
            throw;
        }
        SecureWipe(k);
        SecureWipe(opened.message);
        answer.cipher = ToUtf8(opened.cipher);
        answer.passes = opened.passes;
        switch (opened.status) {
        case envelope::OpenStatus::Opened:
            answer.detail = "Decrypted with " + answer.cipher + ", " + PassWords(opened.passes);
            return;
        case envelope::OpenStatus::NotAnEnvelope:
            throw Refusal{ExitCode::Usage,
                          "the text is not an envelope: an envelope is lines of hexadecimal pairs separated by "
                          "spaces, its digest in front"};
        case envelope::OpenStatus::SeveralEnvelopes:
            throw Refusal{ExitCode::Usage, "the text holds more than one envelope: open one at a time"};
        case envelope::OpenStatus::Damaged:
            throw Refusal{ExitCode::Damaged, "the envelope is damaged: make sure the whole envelope was copied"};
        case envelope::OpenStatus::WrongKey:
            throw Refusal{ExitCode::WrongKey,
                          cipher == FindIt && passes == 0
                              ? "wrong key, cipher or passes"
                              : "wrong key, cipher or passes: Find it finds the cipher and the passes"};
        case envelope::OpenStatus::Ambiguous: {
            std::string names;
            for (const auto& name : opened.fitting) {
                names += (names.empty() ? "" : ", ") + ToUtf8(name);
            }
            throw Refusal{ExitCode::WrongKey, "more than one cipher fits (" + names + "): choose the cipher"};
        }
        case envelope::OpenStatus::MorePasses:
            throw Refusal{ExitCode::WrongKey, "after " + PassWords(opened.passes) +
                                                  " the result is itself encrypted: choose Find it for the passes"};
        }
    });
}

EMSCRIPTEN_KEEPALIVE const char* tv_text() {
    return answer.message.empty() ? answer.text.data() : reinterpret_cast<const char*>(answer.message.data());
}
EMSCRIPTEN_KEEPALIVE std::size_t tv_text_size() {
    return answer.message.empty() ? answer.text.size() : answer.message.size();
}
EMSCRIPTEN_KEEPALIVE const char* tv_detail() { return answer.detail.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* tv_warning() { return answer.warning.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* tv_cipher() { return answer.cipher.c_str(); }
EMSCRIPTEN_KEEPALIVE int tv_passes() { return answer.passes; }
EMSCRIPTEN_KEEPALIVE int tv_composable() { return answer.composable ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int tv_reads_utf8() { return answer.readsUtf8 ? 1 : 0; }

// Wipes the answer's message once the worker has taken it.
EMSCRIPTEN_KEEPALIVE void tv_release() {
    DropResult();
    answer = {};
}

}  // extern "C"
