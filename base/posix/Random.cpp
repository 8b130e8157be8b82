#include "base/Random.h"

#include <unistd.h>

namespace tavorin {

bool SystemRandom(void* into, std::size_t size) noexcept { return ::getentropy(into, size) == 0; }

}  // namespace tavorin
