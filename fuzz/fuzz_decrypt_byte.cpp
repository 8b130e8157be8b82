// DecryptByte of every engine on arbitrary arrays: wrong lengths, damaged frames, and
// frames whose stored length is chosen, near the limits of 32-bit arithmetic. Besides not
// crashing, the outcome must be the one the frame's rules give, and an error must leave
// the caller's array as it was.
#include <climits>
#include <cstring>
#include <optional>

#include "base/Failure.h"
#include "engines/Module1.h"
#include "fuzz/FuzzSupport.h"

using namespace tavorin;

namespace {

// A stored length the fuzzer would hardly guess: near 0, near T, near the int32 limits.
struct LengthPick {
    int base;
    int delta;

    std::int32_t For(std::int64_t T) const {
        std::int64_t L = 0;
        switch (base) {
        case 0:
            L = T - 12;
            break;
        case 1:
            L = INT32_MIN;
            break;
        case 2:
            L = INT32_MAX;
            break;
        case 3:
            L = T - INT32_MAX;
            break;
        case 4:
            L = T - static_cast<std::int64_t>(INT32_MIN);
            break;
        default:
            L = 0;
            break;
        }
        L += delta;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(L)));
    }
};

// The ciphertext whose decryption is exactly plain: CBC from a zero block, whole blocks
// only; a partial tail is left as it is.
ByteArray Chain(Engine& e, const ByteArray& plain) {
    const std::size_t B = e.BlockSize();
    ByteArray c = plain;
    std::vector<std::uint8_t> prev(B, 0);
    for (std::size_t o = 0; o + B <= c.size(); o += B) {
        for (std::size_t i = 0; i < B; ++i)
            c[o + i] ^= prev[i];
        e.RawEncryptBlock(c.data() + o);
        std::memcpy(prev.data(), c.data() + o, B);
    }
    return c;
}

struct Outcome {
    std::optional<std::int32_t> error;  // the failure number, or none
    bool intact = false;
    ByteArray bytes;
};

Outcome Decrypt(Engine& e, ByteArray bytes, std::u16string_view key) {
    Outcome o;
    int reports = 0;
    e.WrongKey = [&](std::u16string_view) { ++reports; };
    const ByteArray before = bytes;
    try {
        o.intact = e.DecryptByte(bytes, key);
        FUZZ_CHECK(reports == (o.intact ? 0 : 1));
    } catch (const Failure& f) {
        o.error = f.Number();
        FUZZ_CHECK(bytes == before);  // never half decrypted
        FUZZ_CHECK(reports == 0);
    }
    o.bytes = std::move(bytes);
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::size_t engineIndex = in.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t mode = in.ConsumeIntegral<std::uint8_t>();
    const std::u16string key = fuzz::ConsumeKey(in);
    std::unique_ptr<Engine> engine = fuzz::MakeEngine(engineIndex);
    const std::size_t B = engine->BlockSize();

    if ((mode & 1) == 0) {
        // Arbitrary bytes: any result is possible, but only within the rules.
        const std::vector<std::uint8_t> raw = in.ConsumeRemainingBytes<std::uint8_t>();
        const Outcome o = Decrypt(*engine, ByteArray(raw.begin(), raw.end()), key);
        if (o.error) {
            const std::int32_t n = *o.error;
            FUZZ_CHECK(n == Failure::SubscriptOutOfRange || n == Failure::Overflow || n == Failure::InvalidArgument);
        } else if (o.intact) {
            FUZZ_CHECK(raw.size() % B == 0 && raw.size() >= 12);
            FUZZ_CHECK(o.bytes.size() + 12 <= raw.size() && o.bytes.size() + 12 + B > raw.size());
        } else {
            FUZZ_CHECK(o.bytes.size() == raw.size());
        }
        return 0;
    }

    // A chosen plain frame: the outcome is known in advance.
    const LengthPick pick{in.ConsumeIntegralInRange<int>(0, 5), in.ConsumeIntegralInRange<int>(-40, 40)};
    const std::vector<std::uint8_t> plainBytes = in.ConsumeRemainingBytes<std::uint8_t>();
    ByteArray plain(plainBytes.begin(), plainBytes.end());
    const auto T = static_cast<std::int64_t>(plain.size());
    if ((mode & 2) != 0 && T >= 12) {
        const auto L = static_cast<std::uint32_t>(pick.For(T));
        for (int i = 0; i < 4; ++i)
            plain[8 + i] = static_cast<std::uint8_t>(L >> (8 * i));
    }

    ByteArray cipher;
    std::optional<std::int32_t> keyError;
    try {
        if (!key.empty())
            engine->Key(key);
        cipher = Chain(*engine, plain);
    } catch (const Failure& f) {
        keyError = f.Number();  // a key the code page refuses, or an engine with no key
    }
    if (keyError) {
        const Outcome o = Decrypt(*engine, plain, key);
        FUZZ_CHECK(o.error.has_value());
        return 0;
    }

    const Outcome o = Decrypt(*engine, cipher, key);
    if (T % static_cast<std::int64_t>(B) != 0 || T < 12) {
        FUZZ_CHECK(o.error == Failure::SubscriptOutOfRange);
        return 0;
    }
    const auto L = static_cast<std::int32_t>(Module1::LoadLE32(plain.data() + 8));
    const std::int64_t d = T - static_cast<std::int64_t>(L);
    if (d > INT32_MAX || d < INT32_MIN) {
        FUZZ_CHECK(o.error == Failure::Overflow);
        return 0;
    }
    FUZZ_CHECK(!o.error.has_value());
    const bool fits = L >= 0 && d >= 12 && d <= static_cast<std::int64_t>(11 + B);
    FUZZ_CHECK(o.intact == fits);
    if (fits) {
        FUZZ_CHECK(o.bytes == ByteArray(plain.begin() + 12, plain.begin() + 12 + L));
    } else {
        FUZZ_CHECK(o.bytes == plain);
    }
    return 0;
}
