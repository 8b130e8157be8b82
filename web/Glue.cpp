// The page's way into the core: plain C functions over buffers in the module's memory, called
// by the page's worker. An operation runs over several calls: between them the worker takes
// the envelope's digest with the browser's SHA-256 and has the decryption of each pass split
// over workers of its own (each with a module of its own, deciphering one piece). The answer
// waits in the module until the worker has copied it out and calls tv_release, which wipes
// what is secret: the key and the message. The key and the message handed in are wiped before
// each call returns, and so is every copy made of them here; envelopes are not.
//
// Answers carry the core's exit codes (envelope/Exit.h): 0 done, 1 not an envelope (or bad
// input), 2 damaged, 3 wrong key, cipher or passes, 5 past the page's limits.

#include <emscripten.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "base/TextGate.h"
#include "base/Types.h"
#include "engines/FrameFormat.h"
#include "engines/Registry.h"
#include "envelope/Detect.h"
#include "envelope/Envelope.h"
#include "envelope/Exit.h"
#include "envelope/Find.h"

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

// What an operation carries from one call to the next.
struct Work {
    ByteArray bytes;                         // the ciphertext sealed, or being opened: after a pass, its result
    std::unique_ptr<std::uint8_t[]> mapped;  // the bytes the digest reads, while the worker takes it
    std::size_t mappedSize = 0;
    bool unchecked = false;                             // the envelope's digest is the worker's to check
    std::array<char, envelope::DigestLength> digest{};  // the digest the envelope holds
    std::unique_ptr<Engine> engine;
    int passes = 0;  // asked for (0: find them)
    int done = 0;    // passes done
    bool utf8 = false;
    bool findIt = false;      // the cipher and passes are found
    std::int32_t length = 0;  // the stored length of the pass that runs
    ByteArray chain;          // the ciphertext block before the next bytes to decipher
} work;

// Wipes the result where it is a message, and what an operation carried, and lets them go.
void DropResult() {
    SecureWipe(answer.message);
    if (answer.textIsMessage) {
        SecureWipe(answer.text);
    }
    answer.message = {};
    answer.text = {};
    SecureWipe(work.bytes);
    work = {};
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

// The message's bytes (EncodeMessage), with room for every pass's header and padding so that
// the frame grows in place. Typed text always arrives as UTF-8; bytes that are not (a file) are
// refused under UTF-8, and under Windows-1252 are what such a file holds: its Windows-1252
// bytes, taken as they are.
ByteArray MessageBytes(const std::uint8_t* data, std::size_t size, bool utf8, std::size_t slack) {
    if (size > (utf8 ? MaxMessage : 3 * MaxMessage)) {
        throw Refusal{ExitCode::TooLarge, ""};
    }
    ByteArray bytes;
    bytes.reserve(size + slack);
    bytes.assign(data, data + size);
    const std::size_t ascii = AsciiRun(data, size);
    if (!utf8 && ascii < size &&
        !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(data) + ascii, size - ascii))) {
        return bytes;
    }
    try {
        EncodeMessage(bytes, utf8 ? MessageEncoding::Utf8 : MessageEncoding::Windows1252);
    } catch (const TextFailure& refused) {
        if (refused.Kind() == FailureKind::NotUtf8) {
            NotUtf8(data, size, refused.Offset());
        }
        throw Refusal{ExitCode::Usage,
                      "the message holds the character " + DescribeCodePoint(refused.Character()) +
                          ", which Windows-1252 cannot hold: choose UTF-8 to encrypt it as UTF-8",
                      true};
    }
    if (bytes.size() > MaxMessage) {
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
    answer.textIsMessage = true;
    answer.text.reserve(DecodedLength(p, n, MessageEncoding::Windows1252));
    DecodeMessage(p, n, MessageEncoding::Windows1252,
                  [](const char* data, std::size_t size) { answer.text.append(data, size); });
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

// Runs one step of an operation into `answer` (the first step starts it afresh), turning every
// refusal into its status and words.
template <class Step>
int Run(Step step, bool first = true) {
    if (first) {
        DropResult();
        answer = {};
    }
    try {
        step();
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

// The words for an opening that ended without a message.
[[noreturn]] void Refuse(envelope::OpenStatus status, int passes, const std::vector<std::u16string>& fitting) {
    // Opened reaches here only from a finder that found nothing to open.
    const ExitCode code = status == envelope::OpenStatus::Opened ? ExitCode::Usage : envelope::ExitFor(status);
    switch (status) {
    case envelope::OpenStatus::NotAnEnvelope:
    case envelope::OpenStatus::Opened:
        throw Refusal{code,
                      "the text is not an envelope: an envelope is lines of hexadecimal pairs separated by "
                      "spaces, its digest in front"};
    case envelope::OpenStatus::SeveralEnvelopes:
        throw Refusal{code, "the text holds more than one envelope: open one at a time"};
    case envelope::OpenStatus::Damaged:
        throw Refusal{code, "the envelope is damaged: make sure the whole envelope was copied"};
    case envelope::OpenStatus::WrongKey:
        throw Refusal{code, work.findIt && work.passes == 0
                                ? "wrong key, cipher or passes"
                                : "wrong key, cipher or passes: Find it finds the cipher and the passes"};
    case envelope::OpenStatus::Ambiguous: {
        std::string names;
        for (const auto& name : fitting) {
            names += (names.empty() ? "" : ", ") + ToUtf8(name);
        }
        throw Refusal{code, "more than one cipher fits (" + names + "): choose the cipher"};
    }
    case envelope::OpenStatus::MorePasses:
        throw Refusal{code,
                      "after " + PassWords(passes) + " the result is itself encrypted: choose Find it for the passes"};
    }
    throw Refusal{ExitCode::Usage, "unknown outcome"};
}

// The bytes the digest reads, kept for the worker to digest.
void MapForDigest() {
    work.mapped.reset(new std::uint8_t[work.bytes.size()]);  // every byte written before it is read
    work.mappedSize = work.bytes.size();
    envelope::MapToDigestBytes(work.bytes.data(), work.bytes.size(), work.mapped.get());
}

// The envelope that a finder found in text, its digest taken here.
void FoundWithDigest(const std::uint8_t* text, std::size_t textSize) {
    envelope::FoundEnvelope found =
        envelope::FindEnvelope(std::string_view(reinterpret_cast<const char*>(text), textSize));
    if (found.status != envelope::FindStatus::Found) {
        Refuse(found.status == envelope::FindStatus::SeveralEnvelopes ? envelope::OpenStatus::SeveralEnvelopes
               : found.status == envelope::FindStatus::Damaged        ? envelope::OpenStatus::Damaged
                                                                      : envelope::OpenStatus::NotAnEnvelope,
               0, {});
    }
    work.bytes = std::move(found.ciphertext);
}

}  // namespace

extern "C" {

// Encrypts the message (UTF-8) with every pass; the envelope follows with tv_seal_finish
// once the worker has the digest of tv_mapped's bytes.
EMSCRIPTEN_KEEPALIVE int tv_seal(int cipher, std::uint8_t* key, std::size_t keySize, int passes, int utf8,
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
        const std::size_t slack = envelope::SealingRoom(0, passes, engine->BlockSize());
        try {
            work.bytes = MessageBytes(message, messageSize, utf8 != 0, slack);
            TrackPasses(*engine, passes);
            envelope::EncryptPasses(*engine, work.bytes, k, passes);
        } catch (...) {
            SecureWipe(k);
            throw;
        }
        SecureWipe(k);
        MapForDigest();
        answer.cipher = ToUtf8(engine->Name());
        answer.passes = passes;
        answer.detail = "Encrypted with " + answer.cipher + ", " + PassWords(passes);
        answer.warning = KeyLengthWarning(engine->Name(), keyLength);
    });
}

// The envelope of the sealed ciphertext: its digest as 64 lower-case hexadecimal characters,
// or nullptr to take it here.
EMSCRIPTEN_KEEPALIVE int tv_seal_finish(const char* digest) {
    return Run(
        [&] {
            std::array<char, envelope::DigestLength> d{};
            if (digest) {
                std::memcpy(d.data(), digest, d.size());
            } else {
                d = envelope::CiphertextDigest(work.bytes.data(), work.bytes.size());
            }
            work.mapped.reset();
            answer.text.reserve(static_cast<std::size_t>(envelope::EnvelopeLength(work.bytes.size())));
            envelope::WriteEnvelope(d, work.bytes,
                                    [](const char* data, std::size_t size) { answer.text.append(data, size); });
            work.bytes = {};
        },
        false);
}

// Finds the envelope in the text as pasted (UTF-8). With `assume`, its digest may be left to
// the worker (tv_unchecked): over tv_map's bytes, taken before the first pass deciphers
// anything, which must give tv_expected; when they do not, the worker lets this operation go
// and finds again without `assume`, every digest taken here.
EMSCRIPTEN_KEEPALIVE int tv_open_find(const std::uint8_t* text, std::size_t textSize, int assume) {
    return Run([&] {
        if (textSize > MaxEnvelopeText) {
            throw Refusal{ExitCode::TooLarge, ""};
        }
        if (!assume) {
            FoundWithDigest(text, textSize);
            return;
        }
        envelope::EnvelopeFinder finder;
        finder.AssumeDigests();
        finder.Expect(textSize);
        finder.Feed(reinterpret_cast<const char*>(text), textSize);
        envelope::FoundEnvelope found = finder.Finish();
        if (finder.Assumed() == 1 && found.status == envelope::FindStatus::Found) {
            work.bytes = std::move(found.ciphertext);
            work.digest = finder.AssumedDigest();
            work.unchecked = true;
        } else if (finder.Assumed() == 0) {
            Refuse(envelope::OpenStatus::NotAnEnvelope, 0, {});  // no digest decided anything
        } else {
            FoundWithDigest(text, textSize);  // more than one digest decides: all taken here
        }
    });
}

// The bytes the digest reads, for the worker (tv_mapped, tv_mapped_size).
EMSCRIPTEN_KEEPALIVE void tv_map() { MapForDigest(); }

// The worker has started digesting tv_mapped's bytes: they may go.
EMSCRIPTEN_KEEPALIVE void tv_mapped_taken() {
    work.mapped.reset();
    work.mappedSize = 0;
}

// Chooses the cipher of the envelope found: cipher -1 and passes 0 find them, as
// tavorin-cli decrypt does with auto. Then tv_open_pass runs the passes.
EMSCRIPTEN_KEEPALIVE int tv_open_cipher(int cipher, std::uint8_t* key, std::size_t keySize, int passes, int utf8) {
    const WipeOnExit wipeKey{key, keySize};
    return Run(
        [&] {
            work.findIt = cipher == FindIt;
            work.passes = passes;
            work.utf8 = utf8 != 0;
            envelope::OpenOptions options;
            if (cipher != FindIt) {
                options.cipher = EngineAt(cipher)->Name();
            }
            if (passes != 0 && (passes < 1 || passes > envelope::MaxPasses)) {
                throw Refusal{ExitCode::Usage,
                              "The number of passes must be from 1 to " + std::to_string(envelope::MaxPasses)};
            }
            options.passes = passes;
            std::u16string k = Key(key, keySize);
            envelope::Opened opened;
            try {
                work.engine = envelope::OpeningEngine(work.bytes, k, options, opened);
                if (work.engine && cipher != FindIt) {
                    work.engine->Key(k);
                }
            } catch (...) {
                SecureWipe(k);
                throw;
            }
            SecureWipe(k);
            if (!work.engine) {
                Refuse(opened.status, 0, opened.fitting);
            }
            answer.cipher = ToUtf8(opened.cipher);
        },
        false);
}

// The next pass: the bytes it deciphers (tv_bytes, whole blocks of tv_block_size), which the
// worker deciphers with tv_decipher and its workers, then tv_open_passed; or 0 once the
// opening has ended, with the answer (its status from tv_status).
EMSCRIPTEN_KEEPALIVE std::size_t tv_open_pass() {
    std::size_t size = 0;
    Run(
        [&] {
            Engine& engine = *work.engine;
            if (const auto ended = envelope::NextPass(engine, work.bytes, work.done, work.passes)) {
                answer.passes = work.done;
                if (*ended != envelope::OpenStatus::Opened) {
                    Refuse(*ended, work.done, {});
                }
                AnswerMessage(work.bytes, work.utf8);
                SecureWipe(work.bytes);
                answer.detail = "Decrypted with " + answer.cipher + ", " + PassWords(work.done);
                return;
            }
            const std::size_t T = work.bytes.size();
            frame::CheckCipherLength(T, engine.BlockSize());
            work.length = engine.PeekLength(work.bytes.data());
            if (!frame::StoredLengthFits(T, work.length, engine.BlockSize())) {
                answer.passes = work.done;
                Refuse(envelope::OpenStatus::WrongKey, work.done, {});
            }
            size = T;
        },
        false);
    return size;
}

// Deciphers bytes [from, from + size) of the pass in place, chained from the ciphertext block
// at prev; nullptr: from the frame's start when from is 0, else on from the bytes before,
// deciphered by the call before.
EMSCRIPTEN_KEEPALIVE void tv_decipher(std::size_t from, std::size_t size, const std::uint8_t* prev) {
    work.chain.resize(work.engine->BlockSize());
    if (prev) {
        std::memcpy(work.chain.data(), prev, work.chain.size());
    } else if (from == 0) {
        std::fill(work.chain.begin(), work.chain.end(), std::uint8_t{0});
    }
    work.engine->DecryptChained(work.bytes.data() + from, size, work.chain.data());
}

// The pass is deciphered: its frame's data takes the place of the frame.
EMSCRIPTEN_KEEPALIVE void tv_open_passed() {
    const auto length = static_cast<std::size_t>(work.length);
    std::memmove(work.bytes.data(), work.bytes.data() + frame::HeaderSize, length);
    SecureWipe(work.bytes.data() + length, work.bytes.size() - length);
    work.bytes.resize(length);
    ++work.done;
}

// A worker's piece: size bytes at data, the ciphertext block before them in front (zeros at a
// frame's start), deciphered in place after that block with the key.
EMSCRIPTEN_KEEPALIVE int tv_decipher_piece(int cipher, std::uint8_t* key, std::size_t keySize, std::uint8_t* data,
                                           std::size_t size) {
    const WipeOnExit wipeKey{key, keySize};
    return Run([&] {
        auto engine = EngineAt(cipher);
        std::u16string k = Key(key, keySize);
        engine->Key(k);
        SecureWipe(k);
        const std::size_t B = engine->BlockSize();
        if (size < B) {
            throw Refusal{ExitCode::Usage, "no block before the piece"};
        }
        engine->DecryptChained(data + B, size - B, data);
    });
}

EMSCRIPTEN_KEEPALIVE std::uint8_t* tv_bytes() { return work.bytes.data(); }
EMSCRIPTEN_KEEPALIVE int tv_cipher_index() {
    const auto name = work.engine->Name();
    return static_cast<int>(std::find(EngineNames.begin(), EngineNames.end(), name) - EngineNames.begin());
}
EMSCRIPTEN_KEEPALIVE int tv_passes_done() { return work.done; }
EMSCRIPTEN_KEEPALIVE std::size_t tv_block_size() { return work.engine ? work.engine->BlockSize() : 0; }
EMSCRIPTEN_KEEPALIVE const std::uint8_t* tv_mapped() { return work.mapped.get(); }
EMSCRIPTEN_KEEPALIVE std::size_t tv_mapped_size() { return work.mappedSize; }
EMSCRIPTEN_KEEPALIVE int tv_unchecked() { return work.unchecked ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE const char* tv_expected() { return work.digest.data(); }
EMSCRIPTEN_KEEPALIVE int tv_status() { return static_cast<int>(answer.status); }

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

// Wipes the answer's message, and what an operation carried, once the worker has taken it.
EMSCRIPTEN_KEEPALIVE void tv_release() {
    DropResult();
    answer = {};
}

}  // extern "C"
