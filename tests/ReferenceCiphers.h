#pragma once
// Crypto++'s ciphers in the place of an engine's block function, where the engine's cipher
// under a key is a standard one: DES always (the first 8 key bytes, zero-padded), Skipjack
// for keys whose period divides ten, Twofish for keys of 9 bytes and more (zero-padded to
// 16, 24 or 32). Blowfish and Gost have arrangements of their own.

#ifdef TAVORIN_HAVE_CRYPTOPP

#include <cryptopp/des.h>
#include <cryptopp/skipjack.h>
#include <cryptopp/twofish.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "base/Types.h"

namespace tavorin::test {

struct ReferenceBlock {
    std::function<void(const std::uint8_t*in, std::uint8_t*out)> Encrypt, Decrypt;
};

namespace detail {

// Crypto++ takes Skipjack's key, plaintext and ciphertext in the reverse byte order of the
// published cipher (its copy of the published vector is reversed too).
template <class Cipher>
ReferenceBlock Reference(ByteArray key, bool reversed) {
    if (reversed)
        std::reverse(key.begin(), key.end());
    auto enc = std::make_shared<typename Cipher::Encryption>(key.data(), key.size());
    auto dec = std::make_shared<typename Cipher::Decryption>(key.data(), key.size());
    const auto run = [reversed](auto& t, const std::uint8_t* in, std::uint8_t* out) {
        const std::size_t B = Cipher::BLOCKSIZE;
        std::uint8_t r[16];
        std::copy(in, in + B, r);
        if (reversed)
            std::reverse(r, r + B);
        t.ProcessBlock(r, out);
        if (reversed)
            std::reverse(out, out + B);
    };
    return {[enc, run](const std::uint8_t* in, std::uint8_t* out) { run(*enc, in, out); },
            [dec, run](const std::uint8_t* in, std::uint8_t* out) { run(*dec, in, out); }};
}

}  // namespace detail

// keyBytes: the key text through the code page.
inline std::optional<ReferenceBlock> StandardBlock(std::u16string_view engine, ByteArray keyBytes) {
    const std::size_t n = keyBytes.size();
    if (engine == u"DES") {
        keyBytes.resize(8, 0);
        return detail::Reference<CryptoPP::DES>(keyBytes, false);
    }
    if (engine == u"Skipjack" && n > 0 && 10 % n == 0) {
        ByteArray key(10);
        for (std::size_t i = 0; i < 10; ++i)
            key[i] = keyBytes[i % n];
        return detail::Reference<CryptoPP::SKIPJACK>(key, true);
    }
    if (engine == u"Twofish" && n >= 9) {
        keyBytes.resize(n > 24 ? 32 : n > 16 ? 24 : 16, 0);
        return detail::Reference<CryptoPP::Twofish>(keyBytes, false);
    }
    return std::nullopt;
}

}  // namespace tavorin::test

#endif  // TAVORIN_HAVE_CRYPTOPP
