#include "base/Cores.h"

#include <sched.h>

#include <cstring>
#include <thread>

namespace tavorin {

#if defined(__linux__) && !defined(TAVORIN_NO_THREADS)

static_assert(sizeof(cpu_set_t) <= sizeof(std::array<unsigned char, 128>));

namespace {

cpu_set_t Load(const std::array<unsigned char, 128>& bytes) noexcept {
    cpu_set_t set;
    std::memcpy(&set, bytes.data(), sizeof set);
    return set;
}

}  // namespace

std::size_t AllowedCores() noexcept {
    cpu_set_t set;
    return sched_getaffinity(0, sizeof set, &set) == 0 ? static_cast<std::size_t>(CPU_COUNT(&set)) : 0;
}

OffCore::OffCore() noexcept {
    cpu_set_t before;
    known_ = sched_getaffinity(0, sizeof before, &before) == 0;
    if (known_) {
        std::memcpy(before_.data(), &before, sizeof before);
    }
}

void OffCore::Avoid(int other) noexcept {
    if (other == avoided_ || !known_)
        return;
    cpu_set_t cores = Load(before_);
    if (other >= 0 && other < CPU_SETSIZE)
        CPU_CLR(other, &cores);
    if (CPU_COUNT(&cores) != 0 && sched_setaffinity(0, sizeof cores, &cores) == 0)
        avoided_ = other;
}

int OffCore::CurrentCore() noexcept { return sched_getcpu(); }

#else  // no threads of our own (the web page), or no affinity to ask

std::size_t AllowedCores() noexcept { return 0; }

// The saved cores stay unused here.
OffCore::OffCore() noexcept { static_cast<void>(before_), static_cast<void>(known_); }

void OffCore::Avoid(int other) noexcept { avoided_ = other; }

int OffCore::CurrentCore() noexcept { return -1; }

#endif

bool Nap(std::chrono::microseconds time) noexcept {
    std::this_thread::sleep_for(time);
    return true;
}

}  // namespace tavorin
