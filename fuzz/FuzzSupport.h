#pragma once
// What the fuzz programs share: the engines they drive, keys from the fuzz input, and a
// check that stops the run with a message libFuzzer keeps beside the crashing input.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/AnsiCodePage.h"
#include "engines/Engine.h"
#include "engines/Registry.h"
#include "tests/ToyCipher.h"

namespace tavorin::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(cond)                                      \
    do {                                                      \
        if (!(cond))                                          \
            ::tavorin::fuzz::Fail(#cond, __FILE__, __LINE__); \
    } while (0)

// Every engine of the program, then the toy ciphers of both block sizes, which
// exercise the frame on their own.
inline const std::vector<std::u16string>& EngineList() {
    static const std::vector<std::u16string> names = [] {
        std::vector<std::u16string> list;
        for (std::u16string_view name : EngineNames)
            list.emplace_back(name);
        list.emplace_back(u"Toy8");
        list.emplace_back(u"Toy16");
        return list;
    }();
    return names;
}

inline std::unique_ptr<Engine> MakeEngine(std::size_t index) {
    const std::u16string& name = EngineList()[index % EngineList().size()];
    if (name == u"Toy8")
        return std::make_unique<test::ToyCipher<8>>();
    if (name == u"Toy16")
        return std::make_unique<test::ToyCipher<16>>();
    return CreateEngine(name);
}

// A key as a user could type it (every character the code page holds), or, when the
// first byte says so, raw 16-bit units that the code page may refuse.
inline std::u16string ConsumeKey(FuzzedDataProvider& in) {
    const std::uint8_t head = in.ConsumeIntegral<std::uint8_t>();
    const std::size_t length = head & 0x7F;
    std::u16string key;
    if (head & 0x80) {
        for (std::size_t i = 0; i < length && in.remaining_bytes() >= 2; ++i) {
            key.push_back(in.ConsumeIntegral<char16_t>());
        }
    } else {
        const std::string bytes = in.ConsumeBytesAsString(length);
        for (unsigned char b : bytes)
            key.push_back(AnsiCodePage::ByteToChar(b));
    }
    return key;
}

}  // namespace tavorin::fuzz
