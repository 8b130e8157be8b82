// The Windows side of base/Random.h.
#include "base/Random.h"

#include <windows.h>
// After windows.h:
#include <bcrypt.h>

namespace tavorin {

bool SystemRandom(void* into, std::size_t size) noexcept {
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(into), static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

}  // namespace tavorin
