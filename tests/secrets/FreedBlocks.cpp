#include "tests/secrets/FreedBlocks.h"

#include <malloc.h>
#include <string.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tavorin::test {

namespace {

// Fixed storage: the search runs inside operator delete and must not allocate.
struct Watch {
    bool on = false;
    std::size_t count = 0;
    std::size_t sizes[8] = {};
    char needles[8][256] = {};
    std::size_t hits = 0;
    std::size_t freed = 0;
} g_watch;

void Inspect(void* p) noexcept {
    if (!g_watch.on || p == nullptr)
        return;
    ++g_watch.freed;
    const std::size_t size = ::malloc_usable_size(p);
    for (std::size_t i = 0; i < g_watch.count; ++i) {
        if (::memmem(p, size, g_watch.needles[i], g_watch.sizes[i]) != nullptr) {
            ++g_watch.hits;
            return;
        }
    }
}

void* Allocate(std::size_t n) {
    if (void* p = std::malloc(n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t n, std::align_val_t a) {
    void* p = nullptr;
    const std::size_t align = std::max(static_cast<std::size_t>(a), sizeof(void*));
    if (::posix_memalign(&p, align, n == 0 ? 1 : n) == 0)
        return p;
    throw std::bad_alloc();
}

void Release(void* p) noexcept {
    Inspect(p);
    std::free(p);
}

}  // namespace

FreedBlockWatch::FreedBlockWatch(const std::vector<std::string>& needles) {
    g_watch = Watch{};
    for (const std::string& n : needles) {
        if (g_watch.count == 8 || n.size() < 8 || n.size() > 256)
            std::abort();
        std::memcpy(g_watch.needles[g_watch.count], n.data(), n.size());
        g_watch.sizes[g_watch.count++] = n.size();
    }
    g_watch.on = true;
}

FreedBlockWatch::~FreedBlockWatch() { g_watch.on = false; }

std::size_t FreedBlockWatch::Hits() const noexcept { return g_watch.hits; }
std::size_t FreedBlockWatch::Freed() const noexcept { return g_watch.freed; }

}  // namespace tavorin::test

using tavorin::test::Release;

void* operator new(std::size_t n) { return tavorin::test::Allocate(n); }
void* operator new[](std::size_t n) { return tavorin::test::Allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n == 0 ? 1 : n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n == 0 ? 1 : n); }
void* operator new(std::size_t n, std::align_val_t a) { return tavorin::test::AllocateAligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return tavorin::test::AllocateAligned(n, a); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
