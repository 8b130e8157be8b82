// The Windows side of base/Cores.h: the process's and the thread's affinity masks. A machine of
// more than 64 logical processors has several processor groups; a process starts in one, and
// these masks speak of that one.
#include "base/Cores.h"

#include <windows.h>

#include <bit>
#include <cstring>

namespace tavorin {

static_assert(sizeof(DWORD_PTR) <= sizeof(std::array<unsigned char, 128>));

std::size_t AllowedCores() noexcept {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
        return 0;
    }
    return static_cast<std::size_t>(std::popcount(static_cast<std::uint64_t>(process)));
}

OffCore::OffCore() noexcept {
    DWORD_PTR process = 0, system = 0;
    known_ = GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0;
    if (known_) {
        std::memcpy(before_.data(), &process, sizeof process);
    }
}

void OffCore::Avoid(int other) noexcept {
    if (other == avoided_ || !known_)
        return;
    DWORD_PTR cores = 0;
    std::memcpy(&cores, before_.data(), sizeof cores);
    if (other >= 0 && other < 64)
        cores &= ~(DWORD_PTR{1} << other);
    if (cores != 0 && SetThreadAffinityMask(GetCurrentThread(), cores) != 0)
        avoided_ = other;
}

int OffCore::CurrentCore() noexcept { return static_cast<int>(GetCurrentProcessorNumber()); }

bool Nap(std::chrono::microseconds) noexcept { return false; }

}  // namespace tavorin
