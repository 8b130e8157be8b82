// The code page, normalisation and UTF-8 on arbitrary UTF-16 and UTF-8, with ICU as the
// second opinion on what is well-formed.
#include <unicode/ustring.h>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "fuzz/FuzzSupport.h"

using namespace tavorin;

namespace {

bool IcuAcceptsUtf8(std::string_view utf8) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strFromUTF8(nullptr, 0, &needed, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING || U_SUCCESS(status);
}

std::u16string WithoutLoneSurrogates(std::u16string_view text) {
    std::u16string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char16_t c = out[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out[i] = 0xFFFD;
        }
    }
    return out;
}

void Utf16(std::u16string_view text) {
    // The code page: refused exactly when some character has no byte; else lossless.
    bool representable = true;
    for (char16_t c : text) {
        std::uint8_t b;
        representable = representable && AnsiCodePage::CharToByte(c, b);
    }
    try {
        const ByteArray bytes = AnsiCodePage::TextToBytes(text);
        FUZZ_CHECK(representable);
        FUZZ_CHECK(bytes.size() == text.size());
        FUZZ_CHECK(AnsiCodePage::BytesToText(bytes) == text);
    } catch (const Failure& f) {
        FUZZ_CHECK(!representable);
        FUZZ_CHECK(f.Number() == Failure::InvalidArgument);
        FUZZ_CHECK(f.Description().find("U+") != std::string::npos);
    }

    // Normalisation form C is idempotent, and what it gives converts like any other text.
    try {
        const std::u16string nfc = NormalizeNFC(text);
        FUZZ_CHECK(NormalizeNFC(nfc) == nfc);
        try {
            FUZZ_CHECK(AnsiCodePage::NormalizedTextToBytes(text) == AnsiCodePage::TextToBytes(nfc));
        } catch (const Failure& f) {
            FUZZ_CHECK(f.Number() == Failure::InvalidArgument);
        }
    } catch (const Failure& f) {
        FUZZ_CHECK(f.Number() == Failure::InvalidArgument);
    }

    // UTF-16 -> UTF-8 -> UTF-16 keeps every character but lone surrogates.
    const std::string utf8 = ToUtf8(text);
    FUZZ_CHECK(IsValidUtf8(utf8));
    FUZZ_CHECK(FromUtf8(utf8) == WithoutLoneSurrogates(text));
}

void Utf8(std::string_view utf8) {
    const bool valid = IsValidUtf8(utf8);
    FUZZ_CHECK(valid == IcuAcceptsUtf8(utf8));
    try {
        const std::u16string text = FromUtf8(utf8);
        FUZZ_CHECK(valid);
        FUZZ_CHECK(ToUtf8(text) == utf8);
    } catch (const Failure& f) {
        FUZZ_CHECK(!valid);
        FUZZ_CHECK(f.Number() == Failure::InvalidArgument);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1) {
        std::u16string text(rest.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(rest[2 * i]) |
                                            static_cast<unsigned char>(rest[2 * i + 1]) << 8);
        }
        Utf16(text);
    } else {
        Utf8(rest);
        // The same bytes as code-page text must always come back.
        const std::u16string text =
            AnsiCodePage::BytesToText(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
        Utf16(text);
    }
    return 0;
}
