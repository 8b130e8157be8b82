// Opening envelopes of every engine from fuzzed text, with a fuzzed key and pass count.
// Besides not crashing, an outcome must be one the envelope's rules allow, and a failure
// must be a Failure of the numbers bad input may give.
//
// Input, read from the front so that a starting input is a few bytes put before a real envelope:
//   byte 0     the engine
//   byte 1     how: bits 0-1 passes - 1; bit 2 give the decoded text its true digest, so
//              that fuzzed ciphertext reaches the passes; bit 3 decode through the UTF-16
//              path too (the window's); bit 4 an invalid pass count; bit 5 leave the text
//              unwrapped; bit 6 bring the key to the engines' form first
//   byte 2     key length (bit 7: the key is 16-bit units, little-endian, two bytes each)
//   then the key, then the envelope text.
#include <climits>
#include <cstring>
#include <optional>

#include "base/Failure.h"
#include "base/TextGate.h"
#include "envelope/Envelope.h"
#include "envelope/Find.h"
#include "fuzz/FuzzSupport.h"

using namespace tavorin;

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;

    std::uint8_t Byte() {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
};

bool Expected(std::int32_t n) {
    return n == Failure::InvalidArgument || n == Failure::Overflow || n == Failure::SubscriptOutOfRange;
}

// Both decodings of the same characters agree, in bytes or in the failure's kind.
void CheckWideDecoding(std::string_view text, const std::optional<ByteArray>& bytes,
                       const std::optional<Failure>& error) {
    std::u16string wide(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    try {
        const ByteArray fromWide = envelope::DecodePairs(std::u16string_view(wide));
        FUZZ_CHECK(bytes.has_value() && fromWide == *bytes);
    } catch (const Failure& f) {
        FUZZ_CHECK(!bytes.has_value() && error && f.Kind() == error->Kind());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const std::size_t engineIndex = in.Byte();
    const std::uint8_t how = in.Byte();
    const std::uint8_t keyHead = in.Byte();
    std::u16string key;
    for (std::size_t i = 0; i < (keyHead & 0x7Fu) && in.size > 0; ++i) {
        if (keyHead & 0x80) {
            const std::uint8_t lo = in.Byte();
            key.push_back(static_cast<char16_t>(lo | (in.Byte() << 8)));
        } else {
            key.push_back(AnsiCodePage::ByteToChar(in.Byte()));
        }
    }
    std::string text(reinterpret_cast<const char*>(in.data), in.size);

    const bool fixDigest = (how & 0x04) != 0;
    const bool wide = (how & 0x08) != 0;
    const bool badPasses = (how & 0x10) != 0;
    const bool unwrap = (how & 0x20) == 0;
    const bool prepare = (how & 0x40) != 0;
    static constexpr std::int32_t kBad[] = {0, -1, envelope::MaxPasses + 1, INT32_MIN};
    const std::int32_t passes = badPasses ? kBad[how & 3] : (how & 3) + 1;

    if (prepare) {
        GatedText gated = PassTextGate(key);
        if (gated.refused) {
            return 0;
        }
        key = std::move(gated.text);
    }
    if (unwrap) {
        const std::size_t before = text.size();
        envelope::UnwrapText(text);
        FUZZ_CHECK(text.size() <= before);
    }

    std::unique_ptr<Engine> engine = fuzz::MakeEngine(engineIndex);
    int reports = 0;
    engine->WrongKey = [&](std::u16string_view) { ++reports; };

    std::optional<envelope::OpenStatus> outcome;
    ByteArray message;
    try {
        if (fixDigest || wide) {
            std::optional<ByteArray> decoded;
            std::optional<Failure> decodeError;
            try {
                decoded = envelope::DecodePairs(std::string_view(text));
            } catch (const Failure& f) {
                decodeError = f;
            }
            if (wide)
                CheckWideDecoding(text, decoded, decodeError);
            if (!decoded)
                throw *decodeError;
            if (fixDigest && decoded->size() >= envelope::DigestLength) {
                const auto digest = envelope::CiphertextDigest(decoded->data() + envelope::DigestLength,
                                                               decoded->size() - envelope::DigestLength);
                std::memcpy(decoded->data(), digest.data(), digest.size());
                if (!badPasses)
                    FUZZ_CHECK(envelope::DigestMatches(*decoded));
            }
            message = std::move(*decoded);
            outcome = envelope::OpenDecoded(*engine, message, key, passes);
        } else {
            message = envelope::DecodePairs(std::string_view(text));
            outcome = envelope::OpenDecoded(*engine, message, key, passes);
        }
    } catch (const Failure& f) {
        FUZZ_CHECK(Expected(f.Number()));
        FUZZ_CHECK(reports == 0);
        // The text is decoded before the pass count is judged.
        if (badPasses)
            FUZZ_CHECK(f.Number() == Failure::InvalidArgument || f.Number() == Failure::SubscriptOutOfRange);
        return 0;
    }
    FUZZ_CHECK(!badPasses);
    FUZZ_CHECK(reports == (*outcome == envelope::OpenStatus::WrongKey ? 1 : 0));
    if (fixDigest)
        FUZZ_CHECK(*outcome != envelope::OpenStatus::Damaged);

    if (*outcome == envelope::OpenStatus::Opened) {
        // What opened seals again, and that envelope opens to the same message.
        const std::string again = envelope::MakeEnvelope(*engine, message, key, passes);
        ByteArray reopened = envelope::DecodePairs(std::string_view(again));
        FUZZ_CHECK(envelope::OpenDecoded(*engine, reopened, key, passes) == envelope::OpenStatus::Opened);
        FUZZ_CHECK(reopened == message);
    }
    return 0;
}
