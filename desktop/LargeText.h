#pragma once
// The fast forms of the window commands' work on large texts (the envelope of a long message is
// millions of characters), beside MessageCommands.cpp: each gives what its plain form, named with
// it, gives. The commands' scan for line breaks is in TextScan.h.

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "base/Types.h"
#include "envelope/Envelope.h"

namespace tavorin {

// An empty text with room for `size` characters, as reserve() makes it, its pages mapped in one
// call: a fault for each of thousands of fresh pages costs more than filling them (large pages
// would stall at times while the system gathers them).
std::u16string LargeText(std::size_t size);

// The ciphertext's digest (envelope::CiphertextDigest), taken on a second thread while `work`
// runs on this one; both on this one, digest last, where no thread starts. A failure of `work`
// comes first, then the digest's.
std::array<char, envelope::DigestLength> DigestWhile(const ByteArray& ciphertext, const std::function<void()>& work);

}  // namespace tavorin
