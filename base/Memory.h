#pragma once
// Memory that holds secrets, and hints about big buffers. Part of the platform layer: declared
// here, made in base/posix/Memory.cpp (and base/windows/Memory.cpp), the one the build picks.
// Every call is safe to make anywhere; the hints do nothing where the system has no such thing.

#include <cstddef>
#include <string>
#include <vector>

namespace tavorin {

// Overwrites memory in a way the optimiser may not remove; for keys and key schedules.
// (explicit_bzero; SecureZeroMemory on Windows.)
void SecureWipe(void* data, std::size_t size) noexcept;

template <class T>
void SecureWipe(std::vector<T>& v) noexcept {
    SecureWipe(v.data(), v.size() * sizeof(T));
}
inline void SecureWipe(std::u16string& s) noexcept { SecureWipe(s.data(), s.size() * sizeof(char16_t)); }
inline void SecureWipe(std::string& s) noexcept { SecureWipe(s.data(), s.size()); }

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
