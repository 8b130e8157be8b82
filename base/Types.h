#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// Overwrites memory in a way the optimiser may not remove; for keys and key schedules.
void SecureWipe(void* data, std::size_t size) noexcept;

// Asks for large pages behind a big buffer that is about to be filled: one page fault per
// 2 MiB instead of per 4 KiB. Call before the memory is first touched; a hint only.
void AdviseLargePages(void* data, std::size_t size) noexcept;

// Gives the pages of a buffer their memory now, in one system call, instead of one page fault
// each at first use: done by a thread with time to spare before another writes there. The
// contents are left as they are; a hint only.
void PrefaultPages(void* data, std::size_t size) noexcept;

template <class T>
void SecureWipe(std::vector<T>& v) noexcept {
    SecureWipe(v.data(), v.size() * sizeof(T));
}
inline void SecureWipe(std::u16string& s) noexcept { SecureWipe(s.data(), s.size() * sizeof(char16_t)); }
inline void SecureWipe(std::string& s) noexcept { SecureWipe(s.data(), s.size()); }

}  // namespace tavorin
