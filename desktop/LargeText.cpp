#include "desktop/LargeText.h"

#include <exception>
#include <system_error>
#include <thread>

#include "base/Memory.h"

namespace tavorin {

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
