// The Windows side of base/Memory.h.
#include "base/Memory.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "base/SystemPages.h"

namespace tavorin {

namespace pages {

std::size_t Size() noexcept {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

// VirtualLock holds pages within the process's working-set minimum (a few hundred KiB at
// first); past it, it fails with ERROR_WORKING_SET_QUOTA until the minimum (and the maximum
// with it) is grown by what is locked. Growing it needs no privilege that users lack. Under
// wine it is mlock, held to RLIMIT_MEMLOCK instead (and free of it for root).
bool Lock(void* first, std::size_t n) noexcept {
    if (VirtualLock(first, n)) {
        return true;
    }
    SIZE_T least = 0, most = 0;
    const HANDLE self = GetCurrentProcess();
    if (GetLastError() != ERROR_WORKING_SET_QUOTA || !GetProcessWorkingSetSize(self, &least, &most)) {
        return false;
    }
    const SIZE_T more = n + (SIZE_T{64} << 10);  // and room for the system's own locked pages
    return SetProcessWorkingSetSize(self, least + more, std::max(most, least + more) + more) && VirtualLock(first, n);
}

void Unlock(void* first, std::size_t n) noexcept { VirtualUnlock(first, n); }

// Windows sets no limit of its own beyond the working set, which Lock grows.
std::size_t SystemLimit() noexcept { return SIZE_MAX; }

}  // namespace pages

void SecureWipe(void* data, std::size_t size) noexcept {
    if (data != nullptr && size != 0) {
        SecureZeroMemory(data, size);
    }
}

void DisableCoreDumps() noexcept {
    // No dialog and no report to Windows Error Reporting, which would write the process's memory
    // into a dump: a crash ends the process at once, before the system's default filter runs.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
        TerminateProcess(GetCurrentProcess(), 0xC0000409);  // STATUS_STACK_BUFFER_OVERRUN: no report
        return EXCEPTION_CONTINUE_SEARCH;
    });
}

// The C runtime's heap hands large blocks to the system and back on its own.
void SetLargeBlockPolicy(std::size_t direct, std::size_t kept) noexcept { (void)direct, (void)kept; }

// Large pages need a privilege (SeLockMemoryPrivilege) and must be asked for when the memory is
// reserved; a buffer already allocated cannot be given them.
void AdviseLargePages(void* data, std::size_t size) noexcept { (void)data, (void)size; }

// Windows has no call that gives pages their memory without touching them, and touching them
// here could race with the thread that writes there: the first write faults them in.
void PrefaultPages(void* data, std::size_t size) noexcept { (void)data, (void)size; }

}  // namespace tavorin
