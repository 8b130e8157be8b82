#pragma once
// Memory that holds secrets, and hints about big buffers. Part of the platform layer: declared
// here, made in base/posix/Memory.cpp (and base/windows/Memory.cpp), the one the build picks.
// Every call is safe to make anywhere; the hints do nothing where the system has no such thing.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tavorin {

// Overwrites memory in a way the optimiser may not remove; for keys and key schedules.
// (explicit_bzero; SecureZeroMemory on Windows.)
void SecureWipe(void* data, std::size_t size) noexcept;

template <class T, class A>
void SecureWipe(std::vector<T, A>& v) noexcept {
    SecureWipe(v.data(), v.size() * sizeof(T));
}
template <class C, class Traits, class A>
void SecureWipe(std::basic_string<C, Traits, A>& s) noexcept {
    SecureWipe(s.data(), s.size() * sizeof(C));
}

// Keeping secrets out of swap. A locked range's pages stay in memory and are never written to
// swap while it lives (mlock; VirtualLock on Windows, the working-set minimum grown to fit).
// Ranges may share pages: a page goes back to the system's care when the last range over it
// ends. When a lock cannot be had, the memory is used all the same: nothing fails for it, and
// SwapRefusals() tells what was left unlocked.
enum class Holds {
    Key,      // a key, its text or its schedule: small, always locked
    Message,  // message bytes: locked while all that is locked stays within the budget below
};

class LockedMemory {
public:
    LockedMemory() noexcept = default;
    LockedMemory(const void* data, std::size_t size, Holds holds) noexcept;
    ~LockedMemory();
    LockedMemory(LockedMemory&& other) noexcept;
    LockedMemory& operator=(LockedMemory&& other) noexcept;

    // Whether every page of the range is locked.
    bool Locked() const noexcept { return locked_; }

private:
    const void* data_ = nullptr;
    std::size_t size_ = 0;
    bool counted_ = false;
    bool locked_ = false;
};

// The same for memory that lives as long as its owner decides (an allocator's blocks): a key's
// range, always counted, released by UnlockKey with the same range. Returns whether locked.
bool LockKey(const void* data, std::size_t size) noexcept;
void UnlockKey(const void* data, std::size_t size) noexcept;

// What the process has been refused so far: bytes of keys and of messages left unlocked, and
// the budget that message bytes are held to (the system's limit on locked memory, at most
// 8 MiB, so that a large message never pins gigabytes).
struct SwapRefusals {
    std::size_t keyBytes = 0;
    std::size_t messageBytes = 0;
    std::size_t budget = 0;
};
SwapRefusals SwapGuardRefusals() noexcept;

// An allocator whose blocks are locked as keys and wiped before they are freed, for a key's
// text (KeyText) that an engine keeps.
template <class T>
struct KeyAllocator {
    using value_type = T;
    KeyAllocator() noexcept = default;
    template <class U>
    KeyAllocator(const KeyAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        T* p = std::allocator<T>().allocate(n);
        LockKey(p, n * sizeof(T));
        return p;
    }
    void deallocate(T* p, std::size_t n) noexcept {
        SecureWipe(p, n * sizeof(T));
        UnlockKey(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const KeyAllocator<U>&) const noexcept {
        return true;
    }
};
using KeyText = std::basic_string<char16_t, std::char_traits<char16_t>, KeyAllocator<char16_t>>;

// Core dumps off for the whole process: a crash must not put keys or plaintext on disk. Called
// once, first thing in main. (Linux: not dumpable, no core size; Windows: no error-report dump.)
void DisableCoreDumps() noexcept;

// Asks for large pages behind a big buffer that is about to be filled: one page fault per
// 2 MiB instead of per 4 KiB. Call before the memory is first touched; a hint only.
void AdviseLargePages(void* data, std::size_t size) noexcept;

// Gives the pages of a buffer their memory now, in one system call, instead of one page fault
// each at first use: done by a thread with time to spare before another writes there. The
// contents are left as they are; a hint only.
void PrefaultPages(void* data, std::size_t size) noexcept;

// The heap's treatment of big blocks, set once at start: blocks of at least `direct` bytes come
// from the system and go back to it when freed, and up to `kept` freed bytes at the heap's top
// stay for the next allocation (0: the allocator's default). A hint (glibc's mallopt; other
// allocators decide for themselves).
void SetLargeBlockPolicy(std::size_t direct, std::size_t kept = 0) noexcept;

}  // namespace tavorin
