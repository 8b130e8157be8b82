#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Memory.h"  // SecureWipe, which every layer uses with its types

namespace tavorin {

using ByteArray = std::vector<std::uint8_t>;

// Whether the core may start threads of its own. The WebAssembly page has none (shared memory
// needs headers that a page opened from a file cannot send): there the work meant for a
// second thread is done on the calling thread, in the same order.
#ifdef TAVORIN_NO_THREADS
inline constexpr bool ThreadsAvailable = false;
#else
inline constexpr bool ThreadsAvailable = true;
#endif

}  // namespace tavorin
