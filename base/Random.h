#pragma once
// Random bytes from the system's cryptographic generator. Part of the platform layer: made in
// base/posix/Random.cpp (getentropy: the kernel's generator, or the browser's
// crypto.getRandomValues in the web page) and base/windows/Random.cpp (BCryptGenRandom).

#include <cstddef>

namespace tavorin {

// Fills size bytes (at most 256 at a time); false when the system gives none.
bool SystemRandom(void* into, std::size_t size) noexcept;

}  // namespace tavorin
