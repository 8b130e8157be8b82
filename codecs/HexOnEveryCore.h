#pragma once
// Large texts of pairs read on every core: the fast form of modHEX's reading of the envelope's
// pairs, in pieces that each core reads with the code modHEX chose. The same bytes and the same
// refusals as reading it on one thread. Only modHEX.cpp includes this header.

#include <cstddef>
#include <cstdint>

namespace tavorin::modHEX {

// Reads `count` pairs with one-character gaps into out through decode, in pieces spread over
// the cores where the text is long enough and there are several; false when any piece holds a
// digit outside "0".."F". For char and char16_t.
template <class Char>
bool DecodeOnEveryCore(const Char* text, std::size_t count, std::uint8_t* out,
                       bool (*decode)(const Char*, std::size_t, std::uint8_t*) noexcept);

}  // namespace tavorin::modHEX
