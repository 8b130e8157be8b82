#include "base/Types.h"

#include <string.h>
#include <sys/mman.h>

#include <cstdint>

namespace tavorin {

void SecureWipe(void* data, std::size_t size) noexcept {
    if (data != nullptr && size != 0) {
#ifdef __EMSCRIPTEN__
        // One memory.fill instead of the C library's loop; the barrier keeps it.
        memset(data, 0, size);
        asm volatile("" : : "r"(data) : "memory");
#else
        explicit_bzero(data, size);
#endif
    }
}

void AdviseLargePages(void* data, std::size_t size) noexcept {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t last = (begin + size) & ~(kLarge - 1);
    if (data != nullptr && size >= kLarge && last > first) {
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)size;
#endif
}

void PrefaultPages(void* data, std::size_t size) noexcept {
#ifdef MADV_POPULATE_WRITE
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + size) & ~(kPage - 1);
    if (data != nullptr && last > first) {
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
    }
#else
    (void)data;
    (void)size;
#endif
}

}  // namespace tavorin
