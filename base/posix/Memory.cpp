// The POSIX side of base/Memory.h (Linux, and the WebAssembly page's C library).
#include "base/Memory.h"

#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdint>

#include "base/SystemPages.h"

namespace tavorin {

namespace pages {

std::size_t Size() noexcept {
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

// The page's memory is a browser's array there: nothing to lock, and no swap of its own.
#ifdef __EMSCRIPTEN__
bool Lock(void*, std::size_t) noexcept { return true; }
void Unlock(void*, std::size_t) noexcept {}
#elif defined(__linux__)
// Refused past RLIMIT_MEMLOCK (ENOMEM, or EPERM when it is 0) unless the process may lock
// without limit (CAP_IPC_LOCK). The system calls themselves: the sanitizers' mlock does nothing.
bool Lock(void* first, std::size_t n) noexcept { return ::syscall(SYS_mlock, first, n) == 0; }
void Unlock(void* first, std::size_t n) noexcept { ::syscall(SYS_munlock, first, n); }
#else
bool Lock(void* first, std::size_t n) noexcept { return ::mlock(first, n) == 0; }
void Unlock(void* first, std::size_t n) noexcept { ::munlock(first, n); }
#endif

std::size_t SystemLimit() noexcept {
    rlimit limit{};
    if (::getrlimit(RLIMIT_MEMLOCK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return SIZE_MAX;
    }
    return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur, SIZE_MAX));
}

}  // namespace pages

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

void DisableCoreDumps() noexcept {
#if defined(__linux__)
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
#endif
}

void SetLargeBlockPolicy(std::size_t direct, std::size_t kept) noexcept {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(std::min<std::size_t>(direct, INT_MAX)));
    if (kept != 0) {
        mallopt(M_TRIM_THRESHOLD, static_cast<int>(std::min<std::size_t>(kept, INT_MAX)));
    }
#else
    (void)direct, (void)kept;
#endif
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
