#include "desktop/LargeText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <exception>
#include <system_error>
#include <thread>

#include "base/Memory.h"

namespace tavorin {

bool HasLineBreak(std::u16string_view text) noexcept {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i lf = _mm_set1_epi16(u'\n');
    for (; i + 32 <= text.size(); i += 32) {
        const auto* at = reinterpret_cast<const __m128i*>(text.data() + i);
        __m128i found = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k) {
            const __m128i c = _mm_loadu_si128(at + k);
            found = _mm_or_si128(found, _mm_or_si128(_mm_cmpeq_epi16(c, cr), _mm_cmpeq_epi16(c, lf)));
        }
        if (_mm_movemask_epi8(found) != 0) {
            return true;
        }
    }
#endif
    return text.find_first_of(u"\r\n", i) != std::u16string_view::npos;
}

std::u16string LargeText(std::size_t size) {
    std::u16string text;
    text.reserve(size);
    PrefaultPages(text.data(), size * sizeof(char16_t));
    return text;
}

std::array<char, envelope::DigestLength> DigestWhile(const ByteArray& ciphertext, const std::function<void()>& work) {
    std::array<char, envelope::DigestLength> digest{};
    std::exception_ptr digestFailure;
    const auto takeDigest = [&] {
        try {
            digest = envelope::CiphertextDigest(ciphertext.data(), ciphertext.size());
        } catch (...) {
            digestFailure = std::current_exception();
        }
    };
    {
        std::jthread digester;  // joined on every way out
        try {
            digester = std::jthread(takeDigest);
        } catch (const std::system_error&) {
        }
        work();
        if (!digester.joinable()) {
            takeDigest();
        }
    }
    if (digestFailure) {
        std::rethrow_exception(digestFailure);
    }
    return digest;
}

}  // namespace tavorin
