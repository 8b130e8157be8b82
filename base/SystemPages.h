#pragma once
// For base/LockedMemory.cpp and the platform's Memory.cpp only: the system's calls behind
// LockedMemory (base/Memory.h), on whole pages.

#include <cstddef>

namespace tavorin::pages {

std::size_t Size() noexcept;
// Locks n bytes of whole pages from first into memory; false when the system refuses.
bool Lock(void* first, std::size_t n) noexcept;
void Unlock(void* first, std::size_t n) noexcept;
// The bytes the process may keep locked, as the system sets it (RLIMIT_MEMLOCK); SIZE_MAX
// when it sets none.
std::size_t SystemLimit() noexcept;

}  // namespace tavorin::pages
